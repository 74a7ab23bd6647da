// The server: the two acceptors, the signal set, the forecourt tick and the list of live
// connections, all on one io_context run by one thread. Shutdown (SIGINT, SIGTERM) closes the
// acceptors, stops every connection and timer, and so lets io_context::run() return.
#pragma once

#include <list>
#include <memory>
#include <string>

#include <asio.hpp>

#include "wyrlan/connection.h"
#include "wyrlan/forecourt.h"
#include "wyrlan/options.h"
#include "wyrlan/services.h"
#include "wyrlan/sessions.h"
#include "wyrlan/store/store.h"

namespace wyrlan {

class Server {
public:
    Server(asio::io_context& io, const Options& options);

    // Opens the configuration store (filling a new one with the site the options ask for), binds
    // and listens on both ports and starts accepting; false with a reason in `error` (database
    // cannot be opened, bad address, port in use).
    bool Open(std::string& error);

    // Stops accepting, closes every connection, stops the tick. Idempotent.
    void Shutdown();

private:
    bool OpenStore(std::string& error);
    void PublishChange(int32_t tableId, int32_t rowId);
    template <class C>
    void Accept(asio::ip::tcp::acceptor& acceptor);
    void Tick();
    void Prune();

    asio::io_context& io_;
    const Options& options_;
    Sessions sessions_;
    IdleForecourt forecourt_;
    std::unique_ptr<store::Store> store_;
    Services services_;
    asio::ip::tcp::acceptor callAcceptor_;
    asio::ip::tcp::acceptor eventsAcceptor_;
    asio::signal_set signals_;
    asio::steady_timer tick_;
    std::list<std::weak_ptr<Connection>> connections_;
    bool stopped_ = false;
};

}  // namespace wyrlan
