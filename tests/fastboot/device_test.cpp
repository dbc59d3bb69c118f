// The device layer of the protocol client on the strict mock: opening, recognition, and the
// attempts, time-outs and pauses of its transfers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fastboot/protocol.h"
#include "tests/fastboot/client_fixture.h"
#include "tests/fastboot/mock_adb_api.h"

namespace brenlo::testing {
namespace {

using platform::Milliseconds;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::Return;
using ::testing::StrictMock;

std::vector<Milliseconds> Pauses(int count) {
    return std::vector<Milliseconds>(count, Milliseconds(1000));
}

TEST(DeviceOpen, OpensTheEndpointsAndKeepsTheInterfaceName) {
    StrictMock<MockAdbApi> api;
    platform::VirtualClock clock;
    ExpectOpen(api, "usb:3-1.2");
    fb_connection* connection = device_open(L"usb:3-1.2", api, clock);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->read_endpoint, kReadEndpoint);
    EXPECT_EQ(connection->write_endpoint, kWriteEndpoint);
    EXPECT_STREQ(connection->interface_name, "usb:3-1.2");
    EXPECT_STREQ(connection->error, "");
    ExpectDisconnect(api);
    device_release(connection);
}

// Each failure closes what was opened before it and leaves its reason in the API's last error,
// whatever the closing calls set it to.
TEST(DeviceOpen, AFailedStepClosesWhatWasOpenedAndKeepsTheReason) {
    enum Step { kCreateStep, kReadStep, kWriteStep, kNameStep };
    for (Step failing : {kCreateStep, kReadStep, kWriteStep, kNameStep}) {
        SCOPED_TRACE(failing);
        StrictMock<MockAdbApi> api;
        platform::VirtualClock clock;
        InSequence in_order;
        const auto fail = [&api](unsigned long error) {
            return [&api, error](auto&&...) {
                api.SetLastError(error);
                return ADBAPIHANDLE{};
            };
        };
        const unsigned long reason = kErrorAccessDenied;
        // Closing a socket or a USB handle may leave an error of its own behind.
        const auto close = [&api](ADBAPIHANDLE) {
            api.SetLastError(kErrorGenFailure);
            return true;
        };
        if (failing == kCreateStep)
            EXPECT_CALL(api, AdbCreateInterfaceByName(_)).WillOnce(fail(reason));
        else
            EXPECT_CALL(api, AdbCreateInterfaceByName(_)).WillOnce(Return(kInterface));
        if (failing == kReadStep)
            EXPECT_CALL(api, AdbOpenDefaultBulkReadEndpoint(kInterface, _, _))
                .WillOnce(fail(reason));
        else if (failing > kReadStep)
            EXPECT_CALL(api, AdbOpenDefaultBulkReadEndpoint(kInterface, _, _))
                .WillOnce(Return(kReadEndpoint));
        if (failing == kWriteStep)
            EXPECT_CALL(api, AdbOpenDefaultBulkWriteEndpoint(kInterface, _, _))
                .WillOnce(fail(reason));
        else if (failing > kWriteStep)
            EXPECT_CALL(api, AdbOpenDefaultBulkWriteEndpoint(kInterface, _, _))
                .WillOnce(Return(kWriteEndpoint));
        if (failing == kNameStep) {
            EXPECT_CALL(api, AdbGetInterfaceName(kInterface, nullptr, _, true))
                .WillOnce([&api, reason](ADBAPIHANDLE, void*, unsigned long* size, bool) {
                    *size = 0;
                    api.SetLastError(reason);
                    return false;
                });
            EXPECT_CALL(api, AdbCloseHandle(kWriteEndpoint)).WillOnce(close);
        }
        if (failing >= kWriteStep)
            EXPECT_CALL(api, AdbCloseHandle(kReadEndpoint)).WillOnce(close);
        if (failing >= kReadStep)
            EXPECT_CALL(api, AdbCloseHandle(kInterface)).WillOnce(close);

        EXPECT_EQ(device_open(L"usb:1-1", api, clock), nullptr);
        EXPECT_EQ(api.GetLastError(), reason);
    }
}

struct MatchCase {
    const char* what;
    std::uint16_t vendor;
    std::uint8_t endpoints;
    std::uint8_t interface_class, subclass, protocol;
    bool accepted;
};

TEST(DeviceMatches, AcceptsFastbootInterfacesOfTheKnownVendorsOnly) {
    const MatchCase cases[] = {
        {"Google", 0x18D1, 2, 0xFF, 0x42, 0x03, true},
        {"Texas Instruments", 0x0451, 2, 0xFF, 0x42, 0x03, true},
        {"Motorola", 0x22B8, 2, 0xFF, 0x42, 0x03, true},
        {"ZTE", 0x19D2, 2, 0xFF, 0x42, 0x03, true},
        {"HTC", 0x0BB4, 2, 0xFF, 0x42, 0x03, true},
        {"a vendor outside the list", 0x05C6, 2, 0xFF, 0x42, 0x03, false},
        {"three endpoints", 0x18D1, 3, 0xFF, 0x42, 0x03, false},
        {"an adb interface", 0x18D1, 2, 0xFF, 0x42, 0x01, false},
        {"another subclass", 0x18D1, 2, 0xFF, 0x43, 0x03, false},
        {"a class other than vendor-specific", 0x18D1, 2, 0x08, 0x42, 0x03, false},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(c.what);
        StrictMock<MockAdbApi> api;
        platform::VirtualClock clock;
        ExpectOpen(api);
        fb_connection* connection = device_open(L"usb:1-1", api, clock);
        ASSERT_NE(connection, nullptr);
        USB_DEVICE_DESCRIPTOR device{};
        device.idVendor = c.vendor;
        device.idProduct = 0x1234;  // plays no part
        USB_INTERFACE_DESCRIPTOR interface {};
        interface.bNumEndpoints = c.endpoints;
        interface.bInterfaceClass = c.interface_class;
        interface.bInterfaceSubClass = c.subclass;
        interface.bInterfaceProtocol = c.protocol;
        EXPECT_CALL(api, AdbGetUsbDeviceDescriptor(kInterface, _))
            .WillOnce(::testing::DoAll(::testing::SetArgPointee<1>(device), Return(true)));
        EXPECT_CALL(api, AdbGetUsbInterfaceDescriptor(kInterface, _))
            .WillOnce(::testing::DoAll(::testing::SetArgPointee<1>(interface), Return(true)));
        EXPECT_EQ(device_matches(connection), c.accepted);
        ExpectDisconnect(api);
        device_release(connection);
    }
}

TEST(DeviceMatches, RefusesAnInterfaceWhoseDescriptorsCannotBeRead) {
    for (bool device_fails : {true, false}) {
        StrictMock<MockAdbApi> api;
        platform::VirtualClock clock;
        ExpectOpen(api);
        fb_connection* connection = device_open(L"usb:1-1", api, clock);
        ASSERT_NE(connection, nullptr);
        EXPECT_CALL(api, AdbGetUsbDeviceDescriptor(kInterface, _)).WillOnce(Return(!device_fails));
        if (!device_fails)
            EXPECT_CALL(api, AdbGetUsbInterfaceDescriptor(kInterface, _)).WillOnce(Return(false));
        EXPECT_FALSE(device_matches(connection));
        ExpectDisconnect(api);
        device_release(connection);
    }
}

using DeviceWrite = ClientTest;

TEST_F(DeviceWrite, SendsChunksOfAtMost4096BytesWithOneTimeoutForTheWholeLength) {
    const std::string data(10240, 'x');
    std::vector<unsigned long> sizes, timeouts;
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, _, _, _))
        .Times(3)
        .WillRepeatedly([&](ADBAPIHANDLE, const void*, unsigned long size, unsigned long* written,
                            unsigned long timeout) {
            sizes.push_back(size);
            timeouts.push_back(timeout);
            *written = size;
            return true;
        });
    EXPECT_EQ(device_write(connection_, data.data(), 10240), 10240);
    EXPECT_THAT(sizes, ElementsAre(4096, 4096, 2048));
    EXPECT_THAT(timeouts, ElementsAre(82420, 82420, 82420));  // 500 + 8 * 10240
    EXPECT_TRUE(clock_.Sleeps().empty());
}

// A device that stops taking data is given up ten minutes after it last took a byte, however
// long the write: each attempt waits 500 ms plus 8 ms per byte of the whole write, but no longer
// than what is left of those ten minutes.
TEST_F(DeviceWrite, AStalledDeviceIsGivenUpTenMinutesAfterItsLastByte) {
    const struct {
        int length;
        std::vector<unsigned long> timeouts;  // of the attempts after the first chunk
    } cases[] = {
        {5000, {40500, 0, 40500, 0, 40500, 0}},  // six attempts, well within the bound
        {5 * 1024 * 1024, {600000}},             // 500 + 8 * 5 MiB: about 11.7 hours
        {40000, {320500, 0, 600000 - 322500}},   // the third attempt gets what is left
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        ::testing::StrictMock<MockAdbApi> api;
        platform::VirtualClock clock;
        ExpectOpen(api);
        fb_connection* connection = device_open(L"usb:1-1", api, clock);
        ASSERT_NE(connection, nullptr);
        const std::vector<char> data(static_cast<std::size_t>(c.length), 'x');
        std::vector<unsigned long> timeouts;
        Milliseconds last_byte{};
        InSequence in_order;
        EXPECT_CALL(api, AdbWriteEndpointSync(kWriteEndpoint, _, 4096, _, _))
            .WillOnce([&](ADBAPIHANDLE, const void*, unsigned long size, unsigned long* written,
                          unsigned long) {
                clock.Advance(Milliseconds(50));
                last_byte = clock.Now();
                *written = size;
                return true;
            });
        EXPECT_CALL(api, AdbWriteEndpointSync(kWriteEndpoint, _, _, _, _))
            .Times(static_cast<int>(c.timeouts.size()))
            .WillRepeatedly([&](ADBAPIHANDLE adb_endpoint, const void* bytes, unsigned long size,
                                unsigned long* written, unsigned long timeout) {
                timeouts.push_back(timeout);
                return FailTransfer(api, kErrorSemTimeout, &clock)(adb_endpoint, bytes, size,
                                                                   written, timeout);
            });
        EXPECT_EQ(device_write(connection, data.data(), c.length), -1);
        EXPECT_EQ(timeouts, c.timeouts);
        EXPECT_EQ(connection->last_error, kErrorSemTimeout);
        EXPECT_LE(clock.Now() - last_byte, kSilentDeviceGiveUp + kRetryPause);
        EXPECT_NE(connection->interface_handle, nullptr);  // silent, not gone
        ExpectDisconnect(api);
        device_release(connection);
    }
}

// The bound is on silence, not on the whole write: a device that keeps taking bytes, however
// slowly, is never given up.
TEST_F(DeviceWrite, ASlowDeviceThatKeepsTakingBytesIsNotGivenUp) {
    const std::string data(3, 'x');
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, _, _, _))
        .Times(3)
        .WillRepeatedly([this](ADBAPIHANDLE, const void*, unsigned long, unsigned long* written,
                               unsigned long timeout) {
            EXPECT_EQ(timeout, 524u);
            clock_.Advance(Milliseconds(9 * 60 * 1000));
            *written = 1;
            return true;
        });
    EXPECT_EQ(device_write(connection_, data.data(), 3), 3);
    EXPECT_GT(clock_.Now(), kSilentDeviceGiveUp);
}

TEST_F(DeviceWrite, GivesUpAfterSixAttemptsEachFollowedByAPause) {
    const std::string data(100, 'x');
    std::vector<unsigned long> timeouts;
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, 100, _, _))
        .Times(6)
        .WillRepeatedly([&](ADBAPIHANDLE, const void*, unsigned long, unsigned long* written,
                            unsigned long timeout) {
            timeouts.push_back(timeout);
            *written = 0;
            api_.SetLastError(kErrorGenFailure);
            return false;
        });
    EXPECT_EQ(device_write(connection_, data.data(), 100), -1);
    EXPECT_EQ(connection_->last_error, kErrorGenFailure);
    EXPECT_THAT(timeouts, ElementsAre(1300, 0, 1300, 0, 1300, 0));
    EXPECT_EQ(clock_.Sleeps(), Pauses(6));
    EXPECT_TRUE(connected());  // only a vanished device disconnects
}

TEST_F(DeviceWrite, AVanishedDeviceIsDisconnected) {
    const std::string data(100, 'x');
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, _, _, _))
        .Times(6)
        .WillRepeatedly(FailTransfer(api_, kErrorInvalidHandle));
    EXPECT_EQ(device_write(connection_, data.data(), 100), -1);
    EXPECT_EQ(connection_->last_error, kErrorInvalidHandle);
    EXPECT_FALSE(connected());
    // Any later transfer fails at once.
    EXPECT_EQ(device_write(connection_, data.data(), 100), -1);
    unsigned char reply[kMaxReplyLength];
    EXPECT_EQ(device_read(connection_, reply), -1);
}

TEST_F(DeviceWrite, RecoversWhenALaterAttemptGoesThrough) {
    const std::string data(100, 'x');
    InSequence in_order;
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, 100, _, _))
        .Times(2)
        .WillRepeatedly(FailTransfer(api_, kErrorSemTimeout));
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, 100, _, 1300))
        .WillOnce([](ADBAPIHANDLE, const void*, unsigned long size, unsigned long* written,
                     unsigned long) {
            *written = size;
            return true;
        });
    EXPECT_EQ(device_write(connection_, data.data(), 100), 100);
    EXPECT_EQ(clock_.Sleeps(), Pauses(2));
}

// A short write (a time-out after part of a chunk moved) goes on after the bytes that moved:
// nothing is sent twice or skipped.
TEST_F(DeviceWrite, AShortWriteContinuesWhereItStopped) {
    std::string data(5000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    std::string sent;
    std::vector<unsigned long> sizes;
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, _, _, _))
        .WillRepeatedly([&](ADBAPIHANDLE, const void* bytes, unsigned long size,
                            unsigned long* written, unsigned long) {
            sizes.push_back(size);
            *written = std::min<unsigned long>(size, 1000);
            sent.append(static_cast<const char*>(bytes), *written);
            return true;
        });
    EXPECT_EQ(device_write(connection_, data.data(), 5000), 5000);
    EXPECT_EQ(sent, data);
    EXPECT_THAT(sizes, ElementsAre(4096, 4000, 3000, 2000, 1000));
}

TEST_F(DeviceWrite, ASuccessThatMovesNothingCountsAsAFailedAttempt) {
    const std::string data(10, 'x');
    EXPECT_CALL(api_, AdbWriteEndpointSync(kWriteEndpoint, _, 10, _, _))
        .Times(6)
        .WillRepeatedly(
            [](ADBAPIHANDLE, const void*, unsigned long, unsigned long* written, unsigned long) {
                *written = 0;
                return true;
            });
    EXPECT_EQ(device_write(connection_, data.data(), 10), -1);
    EXPECT_EQ(clock_.Sleeps(), Pauses(6));
}

TEST_F(DeviceWrite, NothingToWriteOrNoConnectionFails) {
    EXPECT_EQ(device_write(connection_, "", 0), -1);
    EXPECT_EQ(device_write(connection_, "x", -5), -1);
    EXPECT_EQ(device_write(nullptr, "x", 1), -1);
}

using DeviceRead = ClientTest;

TEST_F(DeviceRead, WaitsOnAttemptsOneThreeAndFiveAndPausesAfterEachFailure) {
    std::vector<unsigned long> timeouts;
    InSequence in_order;
    EXPECT_CALL(api_, AdbReadEndpointSync(kReadEndpoint, _, 64, _, _))
        .Times(2)
        .WillRepeatedly(
            [&](ADBAPIHANDLE, void*, unsigned long, unsigned long*, unsigned long timeout) {
                timeouts.push_back(timeout);
                api_.SetLastError(kErrorSemTimeout);
                return false;
            });
    EXPECT_CALL(api_, AdbReadEndpointSync(kReadEndpoint, _, 64, _, 1012))
        .WillOnce([](ADBAPIHANDLE, void* buffer, unsigned long, unsigned long* got, unsigned long) {
            std::memcpy(buffer, "OKAY", 4);
            *got = 4;
            return true;
        });
    unsigned char reply[kMaxReplyLength];
    EXPECT_EQ(device_read(connection_, reply), 4);
    EXPECT_THAT(timeouts, ElementsAre(1012, 0));
    EXPECT_EQ(clock_.Sleeps(), Pauses(2));
}

TEST_F(DeviceRead, StartsAnotherSeriesAfterSixTimeouts) {
    InSequence in_order;
    EXPECT_CALL(api_, AdbReadEndpointSync(kReadEndpoint, _, 64, _, _))
        .Times(6)
        .WillRepeatedly(FailTransfer(api_, kErrorSemTimeout, &clock_));
    ExpectReply(api_, "OKAY");
    unsigned char reply[kMaxReplyLength];
    EXPECT_EQ(device_read(connection_, reply), 4);
    EXPECT_EQ(clock_.Sleeps(), Pauses(6));
}

// A phone that stays connected but never answers is given up after ten minutes without a
// reply, instead of holding the station for ever.
TEST_F(DeviceRead, GivesUpAfterTenMinutesWithoutAReply) {
    EXPECT_CALL(api_, AdbReadEndpointSync(kReadEndpoint, _, 64, _, _))
        .WillRepeatedly(FailTransfer(api_, kErrorSemTimeout, &clock_));
    unsigned char reply[kMaxReplyLength];
    EXPECT_EQ(device_read(connection_, reply), -1);
    EXPECT_EQ(connection_->last_error, kErrorSemTimeout);
    const Milliseconds series(3 * 1012 + 6 * 1000);
    EXPECT_GE(clock_.Now(), kSilentDeviceGiveUp);
    EXPECT_LT(clock_.Now(), kSilentDeviceGiveUp + series);
    EXPECT_TRUE(connected());
}

TEST_F(DeviceRead, AVanishedDeviceIsDisconnectedAfterOneSeries) {
    EXPECT_CALL(api_, AdbReadEndpointSync(kReadEndpoint, _, 64, _, _))
        .Times(6)
        .WillRepeatedly(FailTransfer(api_, kErrorInvalidHandle));
    unsigned char reply[kMaxReplyLength];
    EXPECT_EQ(device_read(connection_, reply), -1);
    EXPECT_FALSE(connected());
}

TEST_F(DeviceRead, AnotherFaultEndsTheReadAfterOneSeries) {
    EXPECT_CALL(api_, AdbReadEndpointSync(kReadEndpoint, _, 64, _, _))
        .Times(6)
        .WillRepeatedly(FailTransfer(api_, kErrorGenFailure));
    unsigned char reply[kMaxReplyLength];
    EXPECT_EQ(device_read(connection_, reply), -1);
    EXPECT_EQ(connection_->last_error, kErrorGenFailure);
    EXPECT_TRUE(connected());
}

}  // namespace
}  // namespace brenlo::testing
