// Traces as they come from the field, read back into entries and sessions.
#include <gtest/gtest.h>

#include "trace.h"

namespace {

using modemsim::ETraceTag;

// "{I'AT\r\n' O'\r\nOK\r\n'~}": a session per brace, a letter per tag, '~'
// after a truncated entry.
std::string Describe(const modemsim::STrace& t) {
    std::string out;
    for (const auto& s : t.sessions) {
        out += "{";
        for (size_t i = s.first; i < s.end; ++i) {
            const auto& e = t.entries[i];
            out += std::string(i > s.first ? " " : "") +
                   (e.tag == ETraceTag::eInput    ? "I"
                    : e.tag == ETraceTag::eOutput ? "O"
                                                  : "F") +
                   "'" + e.text + "'" + (e.truncated ? "~" : "");
        }
        out += "}";
    }
    return out + (t.skippedBytes > 0 ? " skipped " + std::to_string(t.skippedBytes) : "");
}

TEST(Trace, FieldTracesAreReadIntoEntriesAndSessions) {
    const std::string powerOn = "[INPUT] AT\r\n\n[OUTPUT] \r\nOK\r\n\n[INPUT] AT+CSCLK=1\r\n\n[OUTPUT] \r\nOK\r\n\n";
    const struct {
        const char* name;
        std::string file;
        std::string expected;
    } cases[] = {
        {"empty file", "", "{}"},
        {"a raw AT alone starts none", "[INPUT] AT\r\n\n[OUTPUT] \r\nOK\r\n\n[INPUT] AT+CSQ\r\n\n",
         "{I'AT\r\n' O'\r\nOK\r\n' I'AT+CSQ\r\n'}"},
        {"power-on starts a session, flushed output before it goes with it",
         "[INPUT] ATI\r\n\n[FLUSHED_OUTPUT] \r\nRDY\r\n\n" + powerOn,
         "{I'ATI\r\n'}{F'\r\nRDY\r\n' I'AT\r\n' O'\r\nOK\r\n' I'AT+CSCLK=1\r\n' O'\r\nOK\r\n'}"},
        {"truncated last entry", "[INPUT] AT+CSQ\r\n\n[OUTPUT] \r\n+CS", "{I'AT+CSQ\r\n' O'\r\n+CS'~}"},
        {"binary bytes kept", std::string("[OUTPUT] \x00\xff\x1a\n", 13), std::string("{O'\x00\xff\x1a'}", 8)},
        {"text holding newlines", "[OUTPUT] a\n\nb\n\n[INPUT] x\n", "{O'a\n\nb\n' I'x'}"},
        {"run cut mid-entry, next appended", "[OUTPUT] \r\nO[INPUT] AT\r\n\n", "{O'\r\nO'~ I'AT\r\n'}"},
        {"cut inside the first entry", "T] \r\nOK\r\n\n[INPUT] AT+CSQ\r\n\n", "{I'AT+CSQ\r\n'} skipped 10"},
        {"unknown tag is text", "[OUTPUT] a\n[DEBUG] b\n", "{O'a\n[DEBUG] b'}"},
        {"partial tag at the end is text", "[OUTPUT] a\n[OUTP", "{O'a\n[OUTP'~}"},
    };
    for (const auto& c : cases) {
        const modemsim::STrace trace = modemsim::ParseTrace(c.file);
        EXPECT_EQ(Describe(trace), c.expected) << c.name;
        // What is read is written back unchanged (the scrubbed copy relies on it).
        if (trace.skippedBytes == 0) {
            EXPECT_EQ(modemsim::FormatTrace(trace.entries), c.file) << c.name;
        }
    }
}

}  // namespace
