// The module's serial port and the debug trace of its traffic.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "sim7100.h"

bool CSim7100Impl::InitUart() {
    const char* path = m_settings.device.c_str();
    m_fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    printf("Init Sim7100 UART %s, fd: %d\n", path, m_fd);
    if (m_fd < 0) {
        perror("Uart could not be opened");
        return false;
    }
    FlushPort(m_fd, TCIOFLUSH);
    tcgetattr(m_fd, &m_termios);
    m_termios.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    m_termios.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    m_termios.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    m_termios.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    m_termios.c_cflag |= CS8;
    for (int i = 0; i < 2; ++i) {
        tcsetattr(m_fd, TCSANOW, &m_termios);
        FlushPort(m_fd, TCIOFLUSH);
    }
    cfsetospeed(&m_termios, B115200);
    cfsetispeed(&m_termios, B115200);
    tcsetattr(m_fd, TCSANOW, &m_termios);
    FlushPort(m_fd, TCIOFLUSH);
    m_initialized = true;
    puts("Init Sim7100 UART success");
    return true;
}

void CSim7100Impl::TraceLog(int direction, const char* text) {
    if (!g_debugMode) return;
    // Never follow a link planted in the trace folder, and append only to a
    // regular file (a FIFO must not block us either).
    const int fd =
        open(m_settings.traceFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return;
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        static const char* const kTags[] = {"[INPUT] ", "[OUTPUT] ", "[FLUSHED_OUTPUT] "};
        const char* tag = direction >= eTraceInput && direction <= eTraceFlushed ? kTags[direction] : "";
        iovec parts[3] = {{const_cast<char*>(tag), strlen(tag)},
                          {const_cast<char*>(text), strlen(text)},
                          {const_cast<char*>("\n"), 1}};
        ssize_t ignored = writev(fd, parts, 3);
        (void)ignored;
    }
    close(fd);
}

ssize_t CSim7100Impl::PollRead(int fd, void* buffer, size_t length, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN)) return read(fd, buffer, length);
    return 0;
}

int CSim7100Impl::FlushPort(int fd, int queueSelector) {
    if (g_debugMode) {
        char discarded[1025] = {};
        if (PollRead(fd, discarded, 1024, m_settings.Ms(10)) > 0) TraceLog(eTraceFlushed, discarded);
    }
    return tcflush(fd, queueSelector);
}

void CSim7100Impl::ClosePort() {
    m_initialized = false;
    close(m_fd);
    m_fd = -1;
}
