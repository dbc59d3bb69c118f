// Fuzzes Firehose on any stream a programmer may send: the document scanner must never crash,
// always take what it says it took, and find the same documents however the stream is cut; the
// host's commands must end, whatever comes back, without writing more data than asked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "qcom/firehose_client.h"
#include "qcom/firehose_protocol.h"
#include "tests/qcom/fake_link.h"

namespace {

using namespace fendrel::qcom;
using firehose::Scan;

// The documents of a stream fed in pieces of `cut` bytes.
std::vector<firehose::Document> Documents(std::span<const std::uint8_t> stream, std::size_t cut) {
    std::vector<firehose::Document> documents;
    std::vector<std::uint8_t> buffer;
    for (std::size_t at = 0; at <= stream.size(); at += cut) {
        const std::span piece = stream.subspan(at, std::min(cut, stream.size() - at));
        buffer.insert(buffer.end(), piece.begin(), piece.end());
        while (true) {
            const Scan scan = firehose::ScanDocument(buffer);
            if (scan.consumed > buffer.size())
                std::abort();
            buffer.erase(buffer.begin(),
                         buffer.begin() + static_cast<std::ptrdiff_t>(scan.consumed));
            if (scan.kind == Scan::Kind::kDocument)
                documents.push_back(scan.document);
            else if (scan.kind == Scan::Kind::kNeedMore)
                break;
        }
        if (piece.empty())
            break;
    }
    return documents;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t cut = 1 + data[0] % 97;
    const std::span stream(data + 1, size - 1);
    // (A stream longer than a document may be is cut where the limit falls, which depends on
    // the reads; shorter ones must come out the same.)
    const auto whole = Documents(stream, stream.size() + 1);
    const auto pieces = Documents(stream, cut);
    if (stream.size() < firehose::kMaxDocumentBytes) {
        if (whole.size() != pieces.size())
            std::abort();
        for (std::size_t i = 0; i < whole.size(); ++i) {
            if (whole[i].elements != pieces[i].elements)
                std::abort();
        }
    }

    platform::VirtualClock clock;
    testing::FakeLink link(clock);
    link.Send(stream);
    LinkBuffer buffer(link, clock);
    FirehoseClient client(buffer);
    client.Configure("emmc", 4096);
    std::uint64_t sectors = 0;
    std::uint32_t sector_size = 0;
    client.StorageSize(0, sectors, sector_size);
    const std::size_t before = link.written.size();
    std::size_t filled = 0;
    client.Program({0, 512, 0, 4}, [&](std::span<std::uint8_t> piece) {
        filled += piece.size();
        return true;
    });
    if (filled > 4 * 512 || link.written.size() - before > 4 * 512 + 4096)
        std::abort();
    Sha256Digest digest{};
    client.Digest({0, 512, 0, 4}, digest);
    client.Read({0, 512, 0, 2}, [](std::span<const std::uint8_t>) {});
    return 0;
}
