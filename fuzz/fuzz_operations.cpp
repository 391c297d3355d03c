// Every operation's reading of module answers, end to end: a CSim7100Impl
// whose port is the scripted module double, which gives each command the next
// slice of the input.  The modem is powered on (two fixed "OK" answers), then
// one request runs through Dispatch with a fuzzed payload; the modem object is
// destroyed afterwards, so StandBy runs too.
//
// Input: the request (first byte, 3 + byte % 36), then parts separated by
// 0xFF: the payload (given to Dispatch as OnIpcMessage would), then one
// answer per command.  Within an answer, 0xFE separates pieces; each piece is
// written once the previous one has been read, so the exchange sees them as
// separate reads.  An empty answer is silence; commands beyond the input get
// "\r\nERROR\r\n".  Shell commands go to a no-op.
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fuzz_support.h"
#include "scripted_modem.h"

namespace {

constexpr char kPartEnd = '\xff';
constexpr char kPieceEnd = '\xfe';

const std::string& TraceFile() {
    static const std::string path = [] {
        char dir[] = "/tmp/sim7100-fuzz-XXXXXX";
        FUZZ_REQUIRE(mkdtemp(dir) != nullptr);
        return std::string(dir) + "/trace.txt";
    }();
    return path;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) c == separator ? parts.emplace_back() : parts.back() += c;
    return parts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietStdout();
    if (size == 0) return 0;
    const auto type = static_cast<Ipc::EIpcMsgType>(Ipc::eMsgPowerOn + data[0] % 36);
    const SRequestRoute* route = RouteOf(type);
    FUZZ_REQUIRE(route != nullptr);

    std::vector<std::string> parts = Split(std::string(reinterpret_cast<const char*>(data + 1), size - 1), kPartEnd);
    const std::string payload = parts.front();
    // Commands beyond the input get the module double's "\r\nERROR\r\n".
    ScriptedModem module(5);
    module.SetSplit(0, 0);
    module.On("*", "\r\nOK\r\n");  // PowerOn: AT, AT+CSCLK=1
    module.On("*", "\r\nOK\r\n");
    for (size_t i = 1; i < parts.size(); ++i) {
        ScriptedModem::Reply reply;
        for (const std::string& piece : Split(parts[i], kPieceEnd)) reply.push_back({piece, 0, false, !reply.empty()});
        module.On("*", reply);
    }
    {
        SDaemonSettings settings;
        settings.device = module.Path();
        settings.traceFile = TraceFile();
        settings.timeScale = 0.002;  // a silent module costs about 40 ms
        settings.runShell = [](const char*) { return 0; };
        CSim7100Impl modem(settings);
        // Not required to succeed: a responder starved of the processor for
        // a whole exchange budget fails it, and the input then tests less.
        (void)modem.PowerOn();

        const SCmdResponse r = DispatchCopy(modem, *route, reinterpret_cast<const uint8_t*>(payload.data()),
                                            static_cast<uint32_t>(payload.size()));
        FUZZ_REQUIRE(r.cmdStatus >= SIM7100_STATUS_OK && r.cmdStatus <= SIM7100_STATUS_LBS_UNSUPPORTED);
        FUZZ_REQUIRE(memchr(modem.Response(), 0, CSim7100Impl::kResponseSize + 1) != nullptr);
    }  // StandBy: disconnects when connected, closes the port
    g_debugMode = false;
    unlink(TraceFile().c_str());
    return 0;
}
