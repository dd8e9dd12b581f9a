// A TCP relay on 127.0.0.1 that stands between a client and a server and falls silent: it passes every byte
// both ways until the client sends a chunk holding the trigger text, then passes nothing more, on any of its
// connections, while keeping them all open. To the client the server has stopped answering in the middle of
// a conversation, as behind a stalled network path or a frozen server; the server itself is never touched.
//
// Owns: its listening socket, the relayed connections and the thread that serves them (stopped and joined
// by the destructor).
// REQUIRES: a server listening on 127.0.0.1:targetPort.
#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

class SilentRelay {
  public:
    // trigger is compared without regard to ASCII case.
    SilentRelay(int targetPort, const QByteArray& trigger);
    ~SilentRelay();
    SilentRelay(const SilentRelay&) = delete;
    SilentRelay& operator=(const SilentRelay&) = delete;

    // The port the relay listens on; 0 when it could not be set up.
    int port() const { return port_; }
    bool silent() const { return silent_.load(); }

  private:
    void run();

    int targetPort_;
    QByteArray trigger_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> quit_{false};
    std::atomic<bool> silent_{false};
    std::thread thread_;
};
