// Raw pass-through and the two control words.
#include <poll.h>

#include "dialogue.h"

namespace {

Op Raw(const std::string& text) {
    return [text](CSim7100Impl& m) { return m.RawCommand(text.c_str(), static_cast<unsigned>(text.size())); };
}

// The trace flag is process-wide: leave it as found.
struct SDebugOff {
    SDebugOff() { g_debugMode = false; }
    ~SDebugOff() { g_debugMode = saved; }
    bool saved = g_debugMode;
};

TEST(Raw, Dialogues) {
    const Reply xtra = Late(kOk, "\r\n+CGPSXD: 0\r\n");
    const std::string cusd = "\r\n+CUSD: 0,\"Balance 100%s %d %n\",15\r\n" + kOk;
    const SRecord empty{2, -2, "Empty command!"};
    RunDialogues({
        {"null", kOff, [](CSim7100Impl& m) { return m.RawCommand(nullptr, 0); }, {}, empty},
        {"leading zero", kOn, [](CSim7100Impl& m) { return m.RawCommand("\0AT\r\n", 5); }, {}, empty},
        {"FLUSH closed", kOff, Raw("FLUSH\r\n"), {}, {1, 0, ""}},
        {"FLUSH", kOn, Raw("FLUSH\r\n"), {}, {1, 0, ""}},
        // Near misses of the control words go to the module.
        {"DBG alone powered", kOn, Raw("DBG"), {{"DBG", kError}}, {2, -101, kError}},
        {"dbg", kOn, Raw("dbg\r\n"), {{"dbg\r\n", kOk}}, {1, 0, kOk}},
        // Two segments: the acknowledgement and the result line.
        {"xtra download", kOn, Raw("AT+CGPSXD=0\r\n"), {{"AT+CGPSXD=0\r\n", xtra}}, {1, 0, kOk + "\r\n+CGPSXD: 0\r\n"}},
        {"time update failed",
         kOn,
         Raw("AT+CHTPUPDATE\r\n"),
         {{"AT+CHTPUPDATE\r\n", Late(kOk, "\r\n+CHTPUPDATE: 3\r\n")}},
         {2, -101, kOk + "\r\n+CHTPUPDATE: 3\r\n"}},
        {"write prompt", kOn, Raw("AT+CMGW\r\n"), {{"AT+CMGW\r\n", "\r\n> "}}, {1, 0, "\r\n> "}},
        {"write with index", kOn, Raw("AT+CMGW=5\r\n"), {{"AT+CMGW=5\r\n", "\r\n> "}}, {2, -102, "\r\n> "}},
        {"percent", kOn, Raw("AT+CUSD=1,\"*100#\"\r\n"), {{"AT+CUSD=1,\"*100#\"\r\n", cusd}}, {1, 0, cusd}},
        {"refused", kOn, Raw("AT+FOO\r\n"), {{"AT+FOO\r\n", kError}}, {2, -101, kError}},
        {"silent", kOn, Raw("AT+CPOWD=1\r\n"), {{"AT+CPOWD=1\r\n", ScriptedModem::Silence()}}, {2, -100, ""}},
    });
}

TEST(Raw, DebugTogglesWithoutAPortOrACommand) {
    SDebugOff guard;
    for (EState state : {kOff, kOn}) {
        SBench b(state);
        ExpectRecord(b.impl->RawCommand("DBG\r\n", 5), {1, 0, "DEBUG MODE 1"});
        EXPECT_TRUE(g_debugMode);
        ExpectRecord(b.impl->RawCommand("DBG\r\n", 5), {1, 0, "DEBUG MODE 0"});
        EXPECT_FALSE(g_debugMode);
        EXPECT_EQ(b.Sent(), Strings{});
    }
}

TEST(Raw, FlushReturnsPendingOutput) {
    SBench b(kOn);
    const std::string urc = "\r\n+CMTI: \"SM\",3\r\n";
    b.modem.Inject(urc);
    pollfd p{b.impl->Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 2000), 1) << "the injected bytes never arrived";
    ExpectRecord(b.impl->RawCommand("FLUSH\r\n", 7), {1, 0, urc});
    ExpectRecord(b.impl->RawCommand("FLUSH\r\n", 7), {1, 0, ""});
    EXPECT_EQ(b.Sent(), Strings{});
}

}  // namespace
