// The TCP link against a peer this test plays by hand: handshake, framing, and the cases that
// break devices (replies split byte by byte, several in one packet, over-long, a hang-up).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <future>
#include <string>

#include "fastboot/transport/adb_api.h"
#include "fastboot/transport/adb_errors.h"
#include "fastboot/transport/adb_link.h"

namespace brenlo {
namespace {

constexpr int kPeerWaitMs = 5000;
constexpr unsigned long kGenerousTimeoutMs = 5000;

std::string Frame(const std::string& payload) {
    std::string frame(8, '\0');
    for (int i = 0; i < 8; ++i)
        frame[i] = static_cast<char>(std::uint64_t{payload.size()} >> (8 * (7 - i)));
    return frame + payload;
}

// The device side of one connection, played by the test.
class Peer {
  public:
    Peer() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(listen(listener_, 1), 0);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Peer() {
        Hangup();
        close(listener_);
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Accepts the link's connection, reads its "FB01" and answers `answer`.
    void Accept(const std::string& answer = "FB01") {
        pollfd entry{listener_, POLLIN, 0};
        ASSERT_EQ(poll(&entry, 1, kPeerWaitMs), 1);
        fd_ = accept(listener_, nullptr, nullptr);
        ASSERT_GE(fd_, 0);
        EXPECT_EQ(Receive(4), "FB01");
        Send(answer);
    }

    std::string Receive(std::size_t size) {
        std::string bytes(size, '\0');
        std::size_t have = 0;
        while (have < size) {
            pollfd entry{fd_, POLLIN, 0};
            if (poll(&entry, 1, kPeerWaitMs) != 1)
                break;
            const ssize_t got = recv(fd_, bytes.data() + have, size - have, 0);
            if (got <= 0)
                break;
            have += static_cast<std::size_t>(got);
        }
        bytes.resize(have);
        return bytes;
    }

    void Send(const std::string& bytes) {
        EXPECT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }

    void Hangup() {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

  private:
    int listener_ = -1;
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

struct Opened {
    std::unique_ptr<AdbLink> link;
    unsigned long error = kErrorSuccess;
};

Opened OpenAgainst(Peer& peer, const std::string& answer = "FB01") {
    auto opening = std::async(std::launch::async, [&peer] {
        Opened opened;
        opened.link = OpenTcpLink(peer.address(), &opened.error);
        return opened;
    });
    peer.Accept(answer);
    return opening.get();
}

std::string ReadReply(AdbLink& link, std::size_t size = 64,
                      unsigned long timeout = kGenerousTimeoutMs) {
    unsigned char buffer[256];
    const LinkTransfer transfer = link.Read(buffer, size, timeout);
    EXPECT_EQ(transfer.error, kErrorSuccess);
    return std::string(reinterpret_cast<char*>(buffer), transfer.count);
}

TEST(TcpLink, ShakesHandsAndPresentsAFastbootInterface) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    EXPECT_EQ(opened.link->name(), "tcp:" + peer.address());
    EXPECT_EQ(opened.link->device_descriptor().idVendor, 0x18D1);
    const USB_INTERFACE_DESCRIPTOR& interface = opened.link->interface_descriptor();
    EXPECT_EQ(interface.bNumEndpoints, 2);
    EXPECT_EQ(interface.bInterfaceClass, 0xFF);
    EXPECT_EQ(interface.bInterfaceSubClass, 0x42);
    EXPECT_EQ(interface.bInterfaceProtocol, 0x03);
}

TEST(TcpLink, AcceptsAnyVersionFromOneAndRefusesOtherAnswers) {
    const struct {
        const char* answer;
        bool accepted;
    } cases[] = {{"FB01", true},  {"FB02", true},  {"FB99", true},
                 {"FB00", false}, {"XX01", false}, {"FBx1", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        Peer peer;
        Opened opened = OpenAgainst(peer, c.answer);
        EXPECT_EQ(opened.link != nullptr, c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(opened.error, kErrorGenFailure);
        }
    }
}

TEST(TcpLink, RefusesMalformedNamesAndUnreachableDevices) {
    for (const char* name : {"", ":5554", "host:0", "host:70000", "host:abc", "[::1", "[::1]x"}) {
        SCOPED_TRACE(name);
        unsigned long error = 0;
        EXPECT_EQ(OpenTcpLink(name, &error), nullptr);
        EXPECT_EQ(error, kErrorInvalidName);
    }
    std::string address;
    {
        Peer gone;  // a port that was just free, with nobody listening any more
        address = gone.address();
    }
    unsigned long error = 0;
    EXPECT_EQ(OpenTcpLink(address, &error), nullptr);
    EXPECT_EQ(error, kErrorDeviceNotConnected);
}

TEST(TcpLink, FramesEveryWriteWithItsBigEndianLength) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    const std::string command = "getvar:product";
    const LinkTransfer transfer = opened.link->Write(
        reinterpret_cast<const unsigned char*>(command.data()), command.size(), 1000);
    EXPECT_EQ(transfer.error, kErrorSuccess);
    EXPECT_EQ(transfer.count, command.size());
    EXPECT_EQ(peer.Receive(8 + command.size()), Frame(command));
}

// Whole data chunks are gathered and go out with the next shorter write or before the next read,
// so that the device has all of them before it is asked for a reply.
TEST(TcpLink, GathersDataChunksAndSendsThemBeforeAReplyIsAwaited) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    const std::string first(4096, 'a'), second(4096, 'b'), last(10, 'c');
    for (const std::string* chunk : {&first, &second, &last}) {
        const LinkTransfer transfer = opened.link->Write(
            reinterpret_cast<const unsigned char*>(chunk->data()), chunk->size(), 1000);
        EXPECT_EQ(transfer.error, kErrorSuccess);
        EXPECT_EQ(transfer.count, chunk->size());
    }
    EXPECT_EQ(peer.Receive(3 * 8 + 8192 + 10), Frame(first) + Frame(second) + Frame(last));

    const std::string chunk(4096, 'd');
    opened.link->Write(reinterpret_cast<const unsigned char*>(chunk.data()), chunk.size(), 1000);
    auto device = std::async(std::launch::async, [&peer, &chunk] {
        const bool complete = peer.Receive(8 + chunk.size()) == Frame(chunk);
        peer.Send(Frame(complete ? "OKAY" : "FAILincomplete"));
    });
    EXPECT_EQ(ReadReply(*opened.link), "OKAY");
    device.get();
}

TEST(TcpLink, AssemblesAReplySentByteByByte) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    for (char byte : Frame("OKAYdone"))
        peer.Send(std::string(1, byte));
    EXPECT_EQ(ReadReply(*opened.link), "OKAYdone");
}

TEST(TcpLink, HandsOutSeveralRepliesOfOnePacketOneByOne) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    peer.Send(Frame("INFOone") + Frame("") + Frame("OKAY"));
    EXPECT_EQ(ReadReply(*opened.link), "INFOone");
    EXPECT_EQ(ReadReply(*opened.link), "");  // a zero-length reply stays a reply
    EXPECT_EQ(ReadReply(*opened.link), "OKAY");
}

// A reply longer than the read keeps only its head, and the next reply stays in step.
TEST(TcpLink, CutsAnOverLongReplyAndStaysInStep) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    const std::string long_info = "INFO" + std::string(5000, 'x');
    peer.Send(Frame(long_info) + Frame("OKAY"));
    EXPECT_EQ(ReadReply(*opened.link), long_info.substr(0, 64));
    EXPECT_EQ(ReadReply(*opened.link), "OKAY");
}

TEST(TcpLink, ATimeOutInsideAFrameLosesNothing) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    unsigned char buffer[64];
    EXPECT_EQ(opened.link->Read(buffer, 64, 0).error, kErrorSemTimeout);
    const std::string frame = Frame("OKAY");
    peer.Send(frame.substr(0, 10));
    EXPECT_EQ(opened.link->Read(buffer, 64, 50).error, kErrorSemTimeout);
    peer.Send(frame.substr(10));
    EXPECT_EQ(ReadReply(*opened.link), "OKAY");
}

TEST(TcpLink, AHangUpIsAnInvalidHandleAfterTheRepliesAlreadyThere) {
    Peer peer;
    Opened opened = OpenAgainst(peer);
    ASSERT_NE(opened.link, nullptr);
    peer.Send(Frame("OKAY"));
    peer.Hangup();
    EXPECT_EQ(ReadReply(*opened.link), "OKAY");
    unsigned char buffer[64];
    EXPECT_EQ(opened.link->Read(buffer, 64, kGenerousTimeoutMs).error, kErrorInvalidHandle);
    EXPECT_EQ(opened.link->Write(buffer, 4, 1000).error, kErrorInvalidHandle);
}

// The same link through the API's handles.
TEST(SystemAdbApi, OpensTcpInterfacesByNameAndReportsTheirName) {
    Peer peer;
    SystemAdbApi api;
    const std::string address = peer.address();
    const std::wstring name = L"tcp:" + std::wstring(address.begin(), address.end());
    auto opening =
        std::async(std::launch::async, [&] { return api.AdbCreateInterfaceByName(name.c_str()); });
    peer.Accept();
    const ADBAPIHANDLE interface = opening.get();
    ASSERT_NE(interface, nullptr);
    const ADBAPIHANDLE read = api.AdbOpenDefaultBulkReadEndpoint(interface, AdbOpenAccessTypeRead,
                                                                 AdbOpenSharingModeRead);
    const ADBAPIHANDLE write = api.AdbOpenDefaultBulkWriteEndpoint(
        interface, AdbOpenAccessTypeWrite, AdbOpenSharingModeWrite);
    ASSERT_NE(read, nullptr);
    ASSERT_NE(write, nullptr);

    unsigned long size = 0;
    EXPECT_FALSE(api.AdbGetInterfaceName(interface, nullptr, &size, true));
    EXPECT_EQ(api.GetLastError(), kErrorInsufficientBuffer);
    const std::string expected = "tcp:" + address;
    EXPECT_EQ(size, expected.size() + 1);
    std::string buffer(size, '?');
    EXPECT_TRUE(api.AdbGetInterfaceName(interface, buffer.data(), &size, true));
    EXPECT_STREQ(buffer.c_str(), expected.c_str());

    unsigned long moved = 0;
    EXPECT_TRUE(api.AdbWriteEndpointSync(write, "reboot", 6, &moved, 1000));
    EXPECT_EQ(moved, 6u);
    EXPECT_EQ(peer.Receive(14), Frame("reboot"));
    peer.Send(Frame("OKAY"));
    char reply[64];
    EXPECT_TRUE(api.AdbReadEndpointSync(read, reply, 64, &moved, kGenerousTimeoutMs));
    EXPECT_EQ(std::string(reply, moved), "OKAY");

    EXPECT_TRUE(api.AdbCloseHandle(write));
    EXPECT_TRUE(api.AdbCloseHandle(read));
    EXPECT_TRUE(api.AdbCloseHandle(interface));
}

TEST(SystemAdbApi, RefusesNamesOfNoKnownKindAndNullHandles) {
    SystemAdbApi api;
    EXPECT_EQ(api.AdbCreateInterfaceByName(L"serial:COM3"), nullptr);
    EXPECT_EQ(api.GetLastError(), kErrorInvalidName);
    unsigned long moved = 0;
    EXPECT_FALSE(api.AdbWriteEndpointSync(nullptr, "x", 1, &moved, 0));
    EXPECT_EQ(api.GetLastError(), kErrorInvalidHandle);
}

}  // namespace
}  // namespace brenlo
