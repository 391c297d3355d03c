#include "traffic_log.h"

#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace modemsim {

std::string Escape(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

CTrafficLog::~CTrafficLog() {
    if (m_file != nullptr) std::fclose(m_file);
}

bool CTrafficLog::Open(const std::string& path, std::string& error) {
    m_file = std::fopen(path.c_str(), "a");
    if (m_file == nullptr) {
        error = "cannot open log " + path + ": " + strerror(errno);
        return false;
    }
    return true;
}

void CTrafficLog::Write(const char* direction, const char* kind, const std::string& bytes) {
    if (m_file != nullptr) WriteText(direction, kind, Escape(bytes));
}

void CTrafficLog::WriteText(const char* direction, const char* kind, const std::string& text) {
    if (m_file == nullptr) return;
    timeval tv{};
    gettimeofday(&tv, nullptr);
    std::tm tm{};
    localtime_r(&tv.tv_sec, &tm);
    char stamp[40];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::fprintf(m_file, "%s.%03ld %-4s %-11s %s\n", stamp, static_cast<long>(tv.tv_usec / 1000), direction, kind,
                 text.c_str());
    std::fflush(m_file);
}

}  // namespace modemsim
