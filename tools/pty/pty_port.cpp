#include "pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

PtyPort::~PtyPort() { Close(); }

bool PtyPort::Open() {
    Close();
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        m_error = std::string("cannot open a pseudo-terminal: ") + strerror(errno);
        Close();
        return false;
    }
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = std::string("ptsname: ") + strerror(errno);
        Close();
        return false;
    }
    m_slavePath = name;
    m_slaveKeeper = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Raw on the slave side as well, so nothing is echoed or translated
    // before the daemon has configured the port itself.
    termios tio{};
    if (m_slaveKeeper >= 0 && tcgetattr(m_slaveKeeper, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(m_slaveKeeper, TCSANOW, &tio);
    }
    return true;
}

bool PtyPort::Link(const std::string& linkPath) {
    unlink(linkPath.c_str());
    if (symlink(m_slavePath.c_str(), linkPath.c_str()) != 0) {
        m_error = "cannot link " + linkPath + ": " + strerror(errno);
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PtyPort::ReleaseSlave() {
    if (m_slaveKeeper >= 0) close(m_slaveKeeper);
    m_slaveKeeper = -1;
}

void PtyPort::Close() {
    ReleaseSlave();
    if (m_master >= 0) close(m_master);
    m_master = -1;
    if (!m_linkPath.empty()) unlink(m_linkPath.c_str());
    m_linkPath.clear();
}

bool PtyPort::WriteAll(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = write(m_master, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out{m_master, POLLOUT, 0};
            poll(&out, 1, 100);
            continue;
        }
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}
