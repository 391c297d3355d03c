// The --log file: every command received and every piece of output sent,
// each on one line with a wall-clock time stamp and control bytes escaped.
#pragma once

#include <cstdio>
#include <string>

namespace modemsim {

class CTrafficLog {
public:
    CTrafficLog() = default;
    ~CTrafficLog();
    CTrafficLog(const CTrafficLog&) = delete;
    CTrafficLog& operator=(const CTrafficLog&) = delete;

    bool Open(const std::string& path, std::string& error);
    // direction: "recv", "send" or "note"; kind says what the bytes are.
    void Write(const char* direction, const char* kind, const std::string& bytes);
    // A line already fit to read (escaped where needed).
    void WriteText(const char* direction, const char* kind, const std::string& text);

private:
    std::FILE* m_file = nullptr;
};

// "\r\nOK\r\n" -> "\\r\\nOK\\r\\n"; other control and non-ASCII bytes as \xNN.
std::string Escape(const std::string& bytes);

}  // namespace modemsim
