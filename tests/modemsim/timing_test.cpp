// Answers that come in two parts, the periodic NMEA output, and the fault
// switches the daemon's own tests use: what the daemon sees on its port, and when.
#include "sim_client.h"

namespace {

const std::string kOk = "\r\nOK\r\n", kCsq = "\r\n+CSQ: 23,99\r\n\r\nOK\r\n";

size_t Occurrences(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(word, at)) != std::string::npos; at += word.size()) ++n;
    return n;
}

TEST(modemsim_Port, ShowsEachBehaviourAndFault) {
    const struct {
        const char* name;
        std::function<void(SConfig&)> setup;
        std::function<void(SRunning&)> check;
    } cases[] = {
        {"TwoPartAnswerSecondPartLater", nullptr,
         [](SRunning& r) {
             const auto start = Clock::now();
             EXPECT_EQ(r.client->Exchange("AT+CGPSXD=0"), kOk);
             EXPECT_EQ(r.client->ReadUntilEnds("\r\n+CGPSXD: 0\r\n"), "\r\n+CGPSXD: 0\r\n");
             EXPECT_GE(MsSince(start), 150);
         }},
        {"NmeaBurstsUntilSwitchedOff", nullptr,
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CGPSCOLD"), kOk);
             r.client->Send("AT+CGPSINFOCFG=2,3\r\n");
             const std::string out =
                 r.client->ReadUntil([](const std::string& s) { return Occurrences(s, "$GPRMC") >= 2; });
             EXPECT_EQ(out.rfind(kOk, 0), 0u) << out;
             EXPECT_NE(out.find(",A,"), std::string::npos) << out;  // a fix while it runs
             r.client->Exchange("AT+CGPSINFOCFG=0");
             EXPECT_EQ(r.client->ReadFor(4 * 60ms), "");
         }},
        {"LatencyBaudPacingAndOversizedAnswer",
         [](SConfig& c) {
             c.faults.latencyMs = 200, c.faults.baud = 115200;
             c.faults.oversizeCommands = {"AT+CMGL"}, c.state.sms = {modemsim::SSms{}};
         },
         [](SRunning& r) {
             const auto start = Clock::now();
             const std::string answer = r.client->Exchange("AT+CMGL=4");
             EXPECT_GE(MsSince(start), 200 + static_cast<long>(answer.size() * 1000 / 11520) - 20);  // 10 bits a byte
             EXPECT_GE(answer.size(), 4200u);
             EXPECT_EQ(answer.compare(0, 10, "\r\n+CMGL: 0"), 0);
             EXPECT_EQ(answer.find("OK"), answer.size() - 4);
         }},
        {"SplitAnswers", [](SConfig& c) { c.faults.splitBytes = 4, c.faults.splitGapMs = 15; },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
             EXPECT_GE(r.client->readSizes.size(), 5u);
             for (size_t n : r.client->readSizes) EXPECT_LE(n, 4u);
         }},
        {"SilentForChosenCommands",
         [](SConfig& c) {
             c.faults.silentCommands = {"at+csq", "AT+CGM*"};
         },
         [](SRunning& r) {
             // A whole name matches when no letter follows it; "*" takes any.
             r.client->Send("AT+CSQ\r\nAT+CSQ?\r\nAT+CGMR\r\n");
             ASSERT_TRUE(r.sim.WaitForCommands(3, 2000ms));
             EXPECT_EQ(r.client->ReadFor(200ms), "");
             EXPECT_EQ(r.client->Exchange("AT+CSQX"), "\r\nERROR\r\n");
         }},
        {"OverrideOnceWithALaterLine",
         [](SConfig& c) {
             c.faults.overrides = {{"AT+CSQ", "\r\n+CSQ: 14,99\r\n", "\r\n+CREG: 1\r\n", 30, 1}};
         },
         [](SRunning& r) {
             r.client->Send("AT+CSQ\r\n");
             EXPECT_EQ(r.client->ReadUntilEnds("+CREG: 1\r\n"), "\r\n+CSQ: 14,99\r\n\r\n+CREG: 1\r\n");
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
         }},
        {"UnsolicitedLines",
         [](SConfig& c) {
             c.faults.urcs = {{"RING", 40, 0}, {"+CREG: 1", 70, -1}};
         },
         [](SRunning& r) {
             const std::string out = r.client->ReadUntil([](const std::string& s) {
                 return Occurrences(s, "\r\nRING\r\n") >= 3 && Occurrences(s, "\r\n+CREG: 1\r\n") >= 2;
             });
             EXPECT_EQ(Occurrences(out, "\r\n"), 2 * (Occurrences(out, "RING") + Occurrences(out, "+CREG: 1")));
         }},
        {"GarbageBytes", [](SConfig& c) { c.faults.garbageEveryMs = 30, c.faults.garbageBytes = 5; },
         [](SRunning& r) {
             EXPECT_GE(r.client->ReadUntil([](const std::string& s) { return s.size() >= 10; }).size(), 10u);
         }},
        {"HangUpInTheMiddleOfAnAnswer",
         [](SConfig& c) {
             c.faults.hangup = {"AT+CSQ", 2, 5, 50};
         },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
             const std::string old = r.sim.Path();
             r.client->Send("AT+CSQ\r\n");
             EXPECT_EQ(r.client->ReadFor(3000ms), "\r\n+CS");  // the first five bytes
             EXPECT_TRUE(r.client->hungUp);
             ASSERT_TRUE(r.sim.WaitForNewPath(old, 3000ms));
             EXPECT_EQ(CClient(r.sim.Path()).Exchange("AT+CSQ"), kCsq);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SRunning run(c.setup);
        c.check(run);
    }
}

}  // namespace
