// A diagnostic channel that answers from a script: the result and ESN of the status request and,
// per NV item, the result, NV status and first data byte of the reply. For the NV backup's tests
// and benchmark.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "tests/engine/worker_doubles.h"

namespace fendrel::testing {

struct NvAnswer {
    DMSS_RET_E_TYPE result = DMSS_SUCCESS;
    std::uint16_t status = 0;
    std::uint8_t first_byte = 0;
};

class ScriptedDiagnostic final : public CDMCmd {
  public:
    void Attach(platform::SerialPort&) override {}
    void Detach() override {}
    DMSS_RET_E_TYPE ReadStatus(STATUS_S_TYPE& status) override {
        ++status_reads;
        status.esn = esn;
        return status_result;
    }
    DMSS_RET_E_TYPE ReadNV(NV_S_TYPE& record) override {
        asked.push_back(record.item);
        if (on_read)
            on_read(record.item);
        const NvAnswer answer = answers[record.item];
        record.status = answer.status;
        record.data[0] = answer.first_byte;
        return answer.result;
    }
    DMSS_RET_E_TYPE ChangeMode(MODE_CHANGE_E_TYPE) override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE SwitchToDownloader() override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE ResetPhone() override { return DMSS_SUCCESS; }
    DMSS_RET_E_TYPE ResetPhone9006() override { return DMSS_SUCCESS; }

    DMSS_RET_E_TYPE status_result = DMSS_SUCCESS;
    std::uint32_t esn = 0x12345678;
    int status_reads = 0;
    std::map<std::uint16_t, NvAnswer> answers;
    std::vector<std::uint16_t> asked;
    std::function<void(std::uint16_t)> on_read;
};

class ScriptedChannels final : public ChannelFactory {
  public:
    ScriptedChannels(Journal& journal, ScriptedDiagnostic*& diagnostic)
        : journal_(journal), diagnostic_(diagnostic) {}
    std::unique_ptr<CDLCmd> CreateDownloadChannel(platform::ManualResetEvent&) override {
        return std::make_unique<FakeDownloadChannel>(journal_);
    }
    std::unique_ptr<CDMCmd> CreateDiagnosticChannel(platform::ManualResetEvent&) override {
        auto channel = std::make_unique<ScriptedDiagnostic>();
        diagnostic_ = channel.get();
        return channel;
    }

  private:
    Journal& journal_;
    ScriptedDiagnostic*& diagnostic_;
};

}  // namespace fendrel::testing
