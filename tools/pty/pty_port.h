// The module's side of a pseudo-terminal: the master end, in raw mode, whose
// slave path the daemon opens as if it were the module's serial port.
#pragma once

#include <string>

class PtyPort {
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens a new pty pair.  The slave end stays open here too, so the pair
    // outlives a daemon that closes and reopens the port.  False on failure,
    // with the reason in Error().
    bool Open();
    // Places a symbolic link to the slave (replacing an old link); removed on
    // Close.
    bool Link(const std::string& linkPath);
    // Closes both ends; the daemon's reads then see a hang-up.
    void Close();
    // Drops the keeper end so that a daemon closing its end sees a hang-up.
    void ReleaseSlave();

    int MasterFd() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }
    const std::string& Error() const { return m_error; }

    // Writes all bytes (retrying short writes); false on error.
    bool WriteAll(const void* data, size_t size);

private:
    int m_master = -1;
    int m_slaveKeeper = -1;
    std::string m_slavePath;
    std::string m_linkPath;
    std::string m_error;
};
