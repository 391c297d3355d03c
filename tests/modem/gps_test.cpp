// GPS, assistance data, the registration wait and the module's clock.
#include <algorithm>
#include <chrono>

#include "dialogue.h"

namespace {

const std::string kCreg = "AT+CGREG?\r\n";
const std::string kInfo = "AT+CGPSINFOCFG=2,3\r\n", kInfoOff = "AT+CGPSINFOCFG=0\r\n";
const std::string kXe = "AT+CGPSXE?\r\n", kXd = "AT+CGPSXD=0\r\n", kHtp = "AT+CHTPUPDATE\r\n";
const std::string kWaitOk = "Waiting for GPRS registration - success:\r\n";
const std::string kWaitFail = "Waiting for GPRS registration - fail!\r\n";

std::string Creg(int stat) { return "\r\n+CGREG: 0," + std::to_string(stat) + "\r\n" + kOk; }
Op Clock(const std::string& time) { return WithField(&M::SetClock, &SSetClockRequest::time, time); }
Op Server(const std::string& host) { return WithField(&M::SetTimeServer, &SSetTimeServerRequest::server, host); }

TEST(Gps, Dialogues) {
    const std::string time39 = "24/05/01,10:00:00+08" + std::string(19, '0');
    const std::string burst =
        "\r\n$GPGSV,3,1,12,01,40,083,46*7A\r\n$GPRMC,100000.00,A,3113.7,N,12123.0,E,0.0,,010524,,,A*6C\r\n";
    const std::string del = "AT+CHTPSERV=\"DEL\",0\r\n", add = "AT+CHTPSERV=\"ADD\",\"pool.ntp.org\",80,1\r\n";
    const std::string registered = kWaitOk + Creg(1);
    const std::string xe1 = "\r\n+CGPSXE: 1\r\n" + kOk, htp = "\r\n+CHTPUPDATE: 0\r\n";
    const std::string cold = "AT+CGPSCOLD\r\n";
    const Op wait = &M::WaitGprsRegistration, download = &M::GpsDownloadXtra;
    RunDialogues({
        {"start", kOn, &M::GpsStart, {{cold, kOk}}, {1, 0, "GPS Start: " + kOk}},
        {"no start", kOn, &M::GpsStart, {{cold, kError}}, {2, -101, "Chip did not answer correctly! '" + kError + "'"}},
        {"stop", kOn, &M::GpsStop, {{"AT+CGPS=0\r\n", kOk}}, {1, 0, "GPS Stop: " + kOk}},
        // A 39-character value, the most the field holds, goes whole.
        {"clock", kOn, Clock(time39), {{"AT+CCLK=\"" + time39 + "\"\r\n", kOk}}, {1, 0, "CLOCK: " + kOk}},
        {"xtra no flag", kOn, &M::GpsGetXtraStatus, {{kXe, kOk}}, {2, 0, "AT+CGPSXE: Incorrect response! " + kOk}},
        // Enabling ends in the status query.
        {"enable xtra", kOn, &M::GpsEnableXtra, {{"AT+CGPSXE=1\r\n", kOk}, {kXe, xe1}}, {1, 1, ""}},
        // The periodic output is switched off whatever came of the burst; a
        // refused switch-off leaves the record alone.
        {"info",
         kOn,
         &M::GpsGetInfo,
         {{kInfo, TwoReads(kOk, burst)}, {kInfoOff, kError}},
         {1, 0, "GPS: " + kOk + burst}},
        {"info refused", kOn, &M::GpsGetInfo, {{kInfo, kError}, {kInfoOff, kOk}}, {2, -101, kFail + kError}},
        {"time", kOn, &M::UpdateTime, {{kHtp, TwoReads(kOk, htp)}}, {1, 0, "HTP UPDATE: " + kOk + htp}},
        // An empty list rejects the DEL; the ADD goes ahead all the same.
        {"server", kOn, Server("pool.ntp.org"), {{del, kError}, {add, kOk}}, {1, 0, "HTP SERV: " + kOk}},
        // Searching, then roaming.
        {"wait 2, 5", kOn, wait, {{kCreg, Creg(2)}, {kCreg, Creg(5)}}, {1, 0, kWaitOk + Creg(2) + Creg(5)}},
        {"wait denied", kOn, wait, {{kCreg, Creg(3)}}, {2, 0, kWaitFail + Creg(3)}},
        {"wait no state", kOn, wait, {{kCreg, kOk}}, {2, 0, "AT+CGREG: Incorrect response!\r\n" + kOk}},
        {"download",
         kOn,
         download,
         {{kCreg, Creg(1)}, {kXd, TwoReads(kOk, "\r\n+CGPSXD: 0\r\n")}},
         {1, 0, "GPS assistance file download:\r\n" + registered + "\r\n" + kOk + "\r\n+CGPSXD: 0\r\n"}},
        {"no GPRS", kOn, download, {{kCreg, Creg(3)}}, {2, 0, "GPRS registration fail!\r\n" + kWaitFail + Creg(3)}},
    });
}

TEST(Gps, DownloadGivesUpAfterThirtyQueriesWithAPauseBetween) {
    // Exchange budgets of 2 s: 30 of them in a row under a sanitizer on a busy
    // machine were seen to run one out at 600 ms.
    SBench b(kOn, "/tmp/sim7100d-modem-test-trace.txt", 0.1);
    // Long answers: the log fills before the queries end.
    const std::string answer = "\r\n+CGREG: 0,2\r\n\r\n+CPSI: NO SERVICE,Online" + std::string(60, '-') + "\r\n" + kOk;
    b.modem.On(kCreg, answer, true);
    std::string log;
    for (int i = 0; i < 30; ++i) log += answer;
    const std::string text =
        "GPRS registration fail!\r\nWaiting for GPRS registration - maximum retries count reached:\r\n" + log;
    ExpectRecord(b.impl->GpsDownloadXtra(), {2, 0, text.substr(0, 1023)});
    const auto received = b.modem.Received();
    ASSERT_EQ(b.Sent(), Strings(30, kCreg));
    // Every pause lasts at least a scaled second (100 ms); a busy machine may
    // stretch some, but not every one of 29 up to a pause of 5 s (500 ms).
    auto shortest = std::chrono::steady_clock::duration::max();
    for (size_t i = 3; i < received.size(); ++i) {
        EXPECT_GE(received[i].at - received[i - 1].at, std::chrono::milliseconds(100)) << "before query " << i - 1;
        shortest = std::min(shortest, received[i].at - received[i - 1].at);
    }
    EXPECT_LT(shortest, std::chrono::milliseconds(330));
}

}  // namespace
