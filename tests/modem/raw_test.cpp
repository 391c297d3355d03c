// Raw pass-through and the two control words.
#include <poll.h>

#include <string>

#include "powered_modem.h"

namespace {

using Strings = std::vector<std::string>;
using Reply = ScriptedModem::Reply;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

SCmdResponse Raw(CSim7100Impl& m, const std::string& text) { return m.RawCommand(text.c_str(), text.size()); }

// The trace flag is process-wide: leave it as found.
class DebugFlagGuard {
public:
    DebugFlagGuard() : m_saved(g_debugMode) { g_debugMode = false; }
    ~DebugFlagGuard() { g_debugMode = m_saved; }

private:
    bool m_saved;
};

class RawOps : public PoweredModem {
protected:
    void SetUp() override {
        PoweredModem::SetUp();
        modem.SetSplit(0, 0);  // result lines arrive whole
    }
};

TEST(RawUnpowered, ControlWordsNeedNoPort) {
    DebugFlagGuard guard;
    auto impl = UnpoweredModem();
    EXPECT_EQ(Rec(Raw(*impl, "DBG\r\n")), (SRecord{1, 0, "DEBUG MODE 1"}));
    EXPECT_TRUE(g_debugMode);
    EXPECT_EQ(Rec(Raw(*impl, "DBG\r\n")), (SRecord{1, 0, "DEBUG MODE 0"}));
    EXPECT_FALSE(g_debugMode);
    EXPECT_EQ(Rec(Raw(*impl, "FLUSH\r\n")), (SRecord{1, 0, ""}));
    const SRecord refused{2, -2, "Chip is not initialized!"};
    for (const char* text : {"DBG", "dbg\r\n", "AT\r\n"}) EXPECT_EQ(Rec(Raw(*impl, text)), refused) << text;
}

TEST(RawUnpowered, EmptyCommands) {
    auto impl = UnpoweredModem();
    const SRecord empty{2, -2, "Empty command!"};
    EXPECT_EQ(Rec(impl->RawCommand(nullptr, 0)), empty);
    EXPECT_EQ(Rec(impl->RawCommand("AT\r\n", 0)), empty);
    EXPECT_EQ(Rec(impl->RawCommand("\0AT\r\n", 5)), empty);
}

TEST_F(RawOps, ControlWordsSendNothing) {
    DebugFlagGuard guard;
    EXPECT_EQ(Rec(Raw(*impl, "DBG\r\n")), (SRecord{1, 0, "DEBUG MODE 1"}));
    EXPECT_EQ(Rec(Raw(*impl, "DBG\r\n")), (SRecord{1, 0, "DEBUG MODE 0"}));
    EXPECT_EQ(Rec(Raw(*impl, "FLUSH\r\n")), (SRecord{1, 0, ""}));
    EXPECT_EQ(Sent(), Strings{});
}

TEST_F(RawOps, FlushReturnsUnsolicitedOutput) {
    const std::string urc = "\r\n+CMTI: \"SM\",3\r\n";
    modem.Inject(urc);
    pollfd p{impl->Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1) << "the injected bytes never arrived";
    EXPECT_EQ(Rec(Raw(*impl, "FLUSH\r\n")), (SRecord{1, 0, urc}));
    EXPECT_EQ(Rec(Raw(*impl, "FLUSH\r\n")), (SRecord{1, 0, ""}));
    EXPECT_EQ(Sent(), Strings{});
}

TEST_F(RawOps, CommandsAndTheirCompletion) {
    const Reply xtra{{kOk}, {"\r\n+CGPSXD: 0\r\n", 30}};
    const struct {
        const char* name;
        std::string command;
        Reply reply;
        SRecord record;
    } cases[] = {
        // Near misses of the control words go to the module.
        {"DBG alone", "DBG", {{kError}}, {2, -101, kError}},
        {"dbg", "dbg\r\n", {{kOk}}, {1, 0, kOk}},
        // Two segments: the acknowledgement and the result line.
        {"xtra download", "AT+CGPSXD=0\r\n", xtra, {1, 0, kOk + "\r\n+CGPSXD: 0\r\n"}},
        {"xtra download blank", "AT+CGPSXD=0 \r\n", xtra, {1, 0, kOk + "\r\n+CGPSXD: 0\r\n"}},
        {"time update failed", "AT+CHTPUPDATE\r\n", {{kOk}, {"\r\n+CHTPUPDATE: 3\r\n", 30}},
         {2, -101, kOk + "\r\n+CHTPUPDATE: 3\r\n"}},
        {"write prompt", "AT+CMGW\r\n", {{"\r\n> "}}, {1, 0, "\r\n> "}},
        {"write with index", "AT+CMGW=5\r\n", {{"\r\n> "}}, {2, -102, "\r\n> "}},
        {"percent", "AT+CUSD=1,\"*100#\"\r\n", {{"\r\n+CUSD: 0,\"Balance 100%s %d %n\",15\r\n" + kOk}},
         {1, 0, "\r\n+CUSD: 0,\"Balance 100%s %d %n\",15\r\n" + kOk}},
        {"refused", "AT+FOO\r\n", {{kError}}, {2, -101, kError}},
        {"silent", "AT+CPOWD=1\r\n", {}, {2, -100, ""}},
        // More after the prefix: an ordinary command, done at the first OK
        // (last: its late result line would reach the next exchange).
        {"xtra with more", "AT+CGPSXD=01\r\n", xtra, {1, 0, kOk}},
    };
    for (const auto& c : cases) {
        modem.On(c.command, c.reply);
        EXPECT_EQ(Rec(Raw(*impl, c.command)), c.record) << c.name;
        EXPECT_EQ(Sent().back(), c.command) << c.name;
    }
}

}  // namespace
