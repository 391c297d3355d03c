// Raw pass-through and the two control words.
#include <poll.h>

#include "dialogue.h"

namespace {

Op Raw(const std::string& text) {
    return [text](M& m) { return m.RawCommand(text.c_str(), static_cast<unsigned>(text.size())); };
}

TEST(Raw, Dialogues) {
    const std::string xd = "AT+CGPSXD=0\r\n";
    RunDialogues({
        {"leading zero", kOn, [](M& m) { return m.RawCommand("\0AT\r\n", 5); }, {}, {2, -2, "Empty command!"}},
        {"FLUSH closed", kOff, Raw("FLUSH\r\n"), {}, {1, 0, ""}},
        // A near miss of a control word goes to the module; its refusal comes
        // back verbatim.
        {"DBG alone", kOn, Raw("DBG"), {{"DBG", kError}}, {2, -101, kError}},
        // Two segments: the acknowledgement and the result line.
        {"xtra download",
         kOn,
         Raw(xd),
         {{xd, TwoReads(kOk, "\r\n+CGPSXD: 0\r\n")}},
         {1, 0, kOk + "\r\n+CGPSXD: 0\r\n"}},
    });
}

TEST(Raw, DebugTogglesWithoutAPortOrACommand) {
    SDebugMode debug(false);
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
