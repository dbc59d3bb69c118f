#include "tests/fastboot/mock_adb_api.h"

#include <cstring>

namespace brenlo::testing {

using ::testing::_;
using ::testing::Return;

void ExpectOpen(MockAdbApi& api, const std::string& name) {
    ::testing::InSequence in_order;
    EXPECT_CALL(api, AdbCreateInterfaceByName(_)).WillOnce(Return(kInterface));
    EXPECT_CALL(api, AdbOpenDefaultBulkReadEndpoint(kInterface, AdbOpenAccessTypeRead,
                                                    AdbOpenSharingModeRead))
        .WillOnce(Return(kReadEndpoint));
    EXPECT_CALL(api, AdbOpenDefaultBulkWriteEndpoint(kInterface, AdbOpenAccessTypeWrite,
                                                     AdbOpenSharingModeWrite))
        .WillOnce(Return(kWriteEndpoint));
    EXPECT_CALL(api, AdbGetInterfaceName(kInterface, nullptr, _, true))
        .WillOnce([&api, name](ADBAPIHANDLE, void*, unsigned long* size, bool) {
            *size = static_cast<unsigned long>(name.size() + 1);
            api.SetLastError(kErrorInsufficientBuffer);
            return false;
        });
    EXPECT_CALL(api, AdbGetInterfaceName(kInterface, ::testing::NotNull(), _, true))
        .WillOnce([name](ADBAPIHANDLE, void* buffer, unsigned long* size, bool) {
            std::memcpy(buffer, name.c_str(), name.size() + 1);
            *size = static_cast<unsigned long>(name.size() + 1);
            return true;
        });
}

void ExpectDisconnect(MockAdbApi& api) {
    ::testing::InSequence in_order;
    EXPECT_CALL(api, AdbCloseHandle(kWriteEndpoint)).WillOnce(Return(true));
    EXPECT_CALL(api, AdbCloseHandle(kReadEndpoint)).WillOnce(Return(true));
    EXPECT_CALL(api, AdbCloseHandle(kInterface)).WillOnce(Return(true));
}

void ExpectReply(MockAdbApi& api, const std::string& reply) {
    EXPECT_CALL(api, AdbReadEndpointSync(kReadEndpoint, _, 64, _, _))
        .WillOnce([reply](ADBAPIHANDLE, void* buffer, unsigned long size, unsigned long* got,
                          unsigned long) {
            *got = static_cast<unsigned long>(std::min<std::size_t>(size, reply.size()));
            std::memcpy(buffer, reply.data(), *got);
            return true;
        })
        .RetiresOnSaturation();
}

void AcceptWrites(MockAdbApi& api, std::string* sent) {
    EXPECT_CALL(api, AdbWriteEndpointSync(kWriteEndpoint, _, _, _, _))
        .WillRepeatedly([sent](ADBAPIHANDLE, const void* data, unsigned long size,
                               unsigned long* written, unsigned long) {
            sent->append(static_cast<const char*>(data), size);
            *written = size;
            return true;
        });
}

}  // namespace brenlo::testing
