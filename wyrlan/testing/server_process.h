// ServerProcess: runs the built wyrlan binary for a test, on a loopback address of the test's own
// and on free ports, with its database in a fresh temporary directory.
//
//   wyrlan::ServerProcess server;
//   ASSERT_TRUE(server.Start("127.0.0.7"));
//   ... connect to server.Address(), server.CallPort(), server.EventsPort() ...
//   EXPECT_EQ(server.Stop(), 0);   // SIGTERM, then the exit code
//
// The destructor always stops the server (SIGTERM, then SIGKILL after a few seconds) and
// removes the temporary directory, also when the test failed half-way. Not thread-safe: use one
// object from one thread.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wyrlan {

class ServerProcess {
public:
    ServerProcess();
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Picks two free ports on `address`, starts wyrlan with --db in a new temporary directory,
    // --listen, --call-port, --events-port and then `extraArgs`, and waits (at most 10 s) until
    // both ports accept connections. Retries with other ports when the server could not bind.
    // False when the server is already running, cannot be started or does not come up; the
    // process is then gone.
    bool Start(const std::string& address = "127.0.0.1", std::vector<std::string> extraArgs = {});

    // Makes the next Start() use these two ports instead of free ones (for clients whose ports
    // are fixed). A server that cannot bind them is retried a few times on the same ports; Start()
    // is false when they stay taken. Ports 0 go back to free ports.
    void UseFixedPorts(uint16_t callPort, uint16_t eventsPort);

    // Starts it again after Stop() or Kill(), on the same database, ports and arguments.
    // False when it is running already or does not come up within 10 s.
    bool Restart();

    // SIGTERM and wait (at most 10 s, then SIGKILL). Returns the exit code, or -1 when the
    // process ended by a signal (also the SIGKILL fallback) or was not running.
    int Stop();

    // SIGKILL and wait. False when it was not running.
    bool Kill();

    // True while the process runs (it has not exited).
    bool Running();

    const std::string& Address() const { return address_; }
    uint16_t CallPort() const { return callPort_; }
    uint16_t EventsPort() const { return eventsPort_; }
    const std::string& DbPath() const { return dbPath_; }
    pid_t Pid() const { return pid_; }

private:
    bool Launch();                  // fork/exec with the stored arguments
    bool WaitUntilListening();      // both ports accept within 10 s; false when it died
    int Reap(int waitMs);           // waits for the child; exit code, -1 signalled, -2 still up

    std::string address_;
    std::vector<std::string> extraArgs_;
    std::string dir_;
    std::string dbPath_;
    uint16_t callPort_ = 0;
    uint16_t eventsPort_ = 0;
    pid_t pid_ = -1;
    uint16_t fixedCallPort_ = 0;
    uint16_t fixedEventsPort_ = 0;
};

}  // namespace wyrlan
