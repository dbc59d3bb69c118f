// Fuzzes the NV definition file reader on files of any content, and the line grammar on the
// whole input taken as one line.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "nv/definition_line.h"
#include "nv/nv_item_store.h"
#include "platform/prompts.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckDefinition(const fendrel::NvItemDefinition& definition) {
    Check(definition.field_types.size() == definition.field_labels.size());
    for (const std::string& label : definition.field_labels)
        Check(label.size() <= fendrel::kMaxDefinitionPieceLength);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/fendrel-nv-definition-fuzz-" + std::to_string(getpid());
    static platform::RecordingPrompts prompts;
    static const platform::ScopedPrompts installed(prompts);

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (const auto line = fendrel::ParseDefinitionLine(bytes)) {
        Check(line->name.size() <= fendrel::kMaxDefinitionPieceLength);
        CheckDefinition(line->definition);
    }

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    const fendrel::NvItemStore store(path);
    std::vector<std::uint16_t> ids;
    std::vector<std::string> names;
    const bool any = store.list_defined_items(ids, names);
    Check(any == !store.definitions().empty());
    Check(ids.size() == names.size() && ids.size() == store.definitions().size());
    Check(std::is_sorted(ids.begin(), ids.end()) &&
          std::adjacent_find(ids.begin(), ids.end()) == ids.end());
    std::set<std::uint16_t> defined;
    for (const fendrel::NvItemDefinition& definition : store.definitions()) {
        CheckDefinition(definition);
        defined.insert(definition.id);
    }
    Check(std::equal(defined.begin(), defined.end(), ids.begin(), ids.end()));
    for (const std::string& name : names)
        Check(name.size() <= fendrel::kMaxDefinitionPieceLength);
    return 0;
}
