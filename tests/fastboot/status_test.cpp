// Status words, commands and the data phase on the strict mock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fastboot/protocol.h"
#include "tests/fastboot/client_fixture.h"
#include "tests/fastboot/mock_adb_api.h"

namespace brenlo::testing {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct StatusCase {
    const char* what;
    std::vector<std::string> replies;
    std::uint32_t size_limit;
    bool data_phase;
    int result;
    const char* error_text;
    bool stays_connected;
    std::vector<std::string> reports;
    const char* response;
};

class ReadStatus : public ClientTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ReadStatus, Table) {
    const StatusCase& c = GetParam();
    ::testing::InSequence in_order;
    for (const std::string& reply : c.replies)
        ExpectReply(api_, reply);
    char response[kResponseSize] = "unchanged";
    EXPECT_EQ(read_status(connection_, c.size_limit, c.data_phase, response), c.result);
    EXPECT_STREQ(connection_->error, c.error_text);
    EXPECT_EQ(connected(), c.stays_connected);
    EXPECT_EQ(log_.texts(), c.reports);
    EXPECT_STREQ(response, c.response);
}

const StatusCase kStatusCases[] = {
    {"OKAY", {"OKAY"}, 0, false, 0, "", true, {}, ""},
    {"OKAY with a value", {"OKAY0x100000"}, 0, false, 0, "", true, {}, "0x100000"},
    {"INFO lines before the final status",
     {"INFOerasing...", "INFO", "OKAY"},
     0,
     false,
     0,
     "",
     true,
     {"INFOerasing...\n", "INFO\n"},
     ""},
    {"a reply of 64 bytes is taken whole",
     {"INFO" + std::string(60, 'i'), "OKAY"},
     0,
     false,
     0,
     "",
     true,
     {"INFO" + std::string(60, 'i') + "\n"},
     ""},
    {"FAIL alone", {"FAIL"}, 0, false, -1, "remote failure", true, {}, "unchanged"},
    {"FAIL with a text",
     {"FAILpartition locked"},
     0,
     false,
     -1,
     "remote: partition locked",
     true,
     {},
     "unchanged"},
    {"DATA within the limit", {"DATA00001000"}, 0x1000, true, 0x1000, "", true, {}, "unchanged"},
    {"DATA of size 0", {"DATA00000000"}, 0x1000, true, 0, "", true, {}, "unchanged"},
    {"DATA above the limit",
     {"DATA00001001"},
     0x1000,
     true,
     -1,
     "data size too large",
     false,
     {},
     "unchanged"},
    {"DATA where no data phase is expected",
     {"DATA00000010"},
     0x1000,
     false,
     -1,
     "unknown status code",
     false,
     {},
     "unchanged"},
    {"an unknown status word",
     {"TEXTsomething"},
     0,
     false,
     -1,
     "unknown status code",
     false,
     {},
     "unchanged"},
    {"status words are case-sensitive",
     {"okay"},
     0,
     false,
     -1,
     "unknown status code",
     false,
     {},
     "unchanged"},
    {"a reply of 3 bytes",
     {"OKA"},
     0,
     false,
     -1,
     "",
     false,
     {"status malformed (3 bytes)"},
     "unchanged"},
    {"an empty reply", {""}, 0, false, -1, "", false, {"status malformed (0 bytes)"}, "unchanged"},
};

INSTANTIATE_TEST_SUITE_P(Replies, ReadStatus, ::testing::ValuesIn(kStatusCases),
                         [](const auto& case_info) {
                             std::string name;
                             for (const char* c = case_info.param.what; *c != '\0'; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

using Status = ClientTest;

TEST_F(Status, AFailedReadIsReportedWithItsReasonAndDisconnects) {
    EXPECT_CALL(api_, AdbReadEndpointSync(kReadEndpoint, _, 64, _, _))
        .Times(6)
        .WillRepeatedly(FailTransfer(api_, kErrorInvalidHandle));
    EXPECT_EQ(read_status(connection_, 0, false, nullptr), -1);
    EXPECT_FALSE(connected());
    EXPECT_THAT(log_.reports(), ElementsAre(Report{"boot", BRENLO_STEP_ERASE, BRENLO_LEVEL_FAILURE,
                                                   "status read failed (The handle is invalid.)"}));
}

TEST_F(Status, ACommandOfSixtyFourCharactersIsSentAndOneMoreIsRefused) {
    std::string sent;
    AcceptWrites(api_, &sent);
    ExpectReply(api_, "OKAY");
    const std::string longest(64, 'c');
    char response[kResponseSize] = "stale";
    EXPECT_EQ(send_command(connection_, longest.c_str(), response), 0);
    EXPECT_EQ(sent, longest);  // without a terminating zero
    EXPECT_STREQ(response, "");

    sent.clear();
    EXPECT_EQ(send_command(connection_, (longest + "c").c_str(), nullptr), -1);
    EXPECT_STREQ(connection_->error, "command too large");
    EXPECT_THAT(sent, IsEmpty());
    EXPECT_TRUE(connected());
}

TEST_F(Status, ACommandThatCannotBeWrittenDisconnects) {
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, _, _, _))
        .Times(6)
        .WillRepeatedly(FailTransfer(api_, kErrorGenFailure));
    EXPECT_EQ(send_command(connection_, "getvar:product", nullptr), -1);
    EXPECT_STREQ(connection_->error,
                 "command write failed (A device attached to the system is not functioning.)");
    EXPECT_FALSE(connected());
}

// A device that asks for less than the whole image would be left with a cut one: nothing of the
// data is sent and the connection goes.
TEST_F(Status, ADownloadTheDeviceWouldTakeOnlyInPartSendsNoData) {
    for (const char* reply : {"DATA00000003", "DATA00000000"}) {
        SCOPED_TRACE(reply);
        ::testing::StrictMock<MockAdbApi> api;
        platform::VirtualClock clock;
        ExpectOpen(api);
        fb_connection* connection = device_open(L"usb:1-1", api, clock);
        ASSERT_NE(connection, nullptr);
        std::string sent;
        AcceptWrites(api, &sent);
        ExpectReply(api, reply);
        ExpectDisconnect(api);
        const std::string image = "abcdef";
        EXPECT_EQ(send_download(connection, "download:00000006",
                                reinterpret_cast<const unsigned char*>(image.data()), 6),
                  -1);
        EXPECT_EQ(sent, "download:00000006");
        EXPECT_STREQ(connection->error, "data transfer failure (short transfer)");
        EXPECT_EQ(connection->interface_handle, nullptr);
        device_release(connection);
    }
}

TEST_F(Status, ADownloadSendsTheWholeImageAndReturnsItsSize) {
    std::string sent;
    AcceptWrites(api_, &sent);
    ::testing::InSequence in_order;
    ExpectReply(api_, "DATA00000006");
    ExpectReply(api_, "OKAY");
    const std::string image = "abcdef";
    EXPECT_EQ(send_download(connection_, "download:00000006",
                            reinterpret_cast<const unsigned char*>(image.data()), 6),
              6);
    EXPECT_EQ(sent, "download:00000006abcdef");
}

TEST_F(Status, ADataTransferThatFailsDisconnects) {
    ::testing::InSequence in_order;
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, 17, _, _))
        .WillOnce([](ADBAPIHANDLE, const void*, unsigned long size, unsigned long* written,
                     unsigned long) {
            *written = size;
            return true;
        });
    ExpectReply(api_, "DATA00000006");
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, 6, _, _))
        .Times(6)
        .WillRepeatedly(FailTransfer(api_, kErrorInvalidHandle));
    const unsigned char image[6] = {};
    EXPECT_EQ(send_download(connection_, "download:00000006", image, 6), -1);
    EXPECT_STREQ(connection_->error, "data transfer failure (The handle is invalid.)");
    EXPECT_FALSE(connected());
}

TEST_F(Status, AFailedFinalStatusFailsTheDownload) {
    std::string sent;
    AcceptWrites(api_, &sent);
    ::testing::InSequence in_order;
    ExpectReply(api_, "DATA00000002");
    ExpectReply(api_, "FAILflash full");
    const unsigned char image[2] = {1, 2};
    EXPECT_EQ(send_download(connection_, "download:00000002", image, 2), -1);
    EXPECT_STREQ(connection_->error, "remote: flash full");
}

}  // namespace
}  // namespace brenlo::testing
