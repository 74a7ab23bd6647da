#include "wyrlan/server.h"

#include <csignal>

#include "quendril/include/quendril.h"
#include "quendril/wire/message.h"
#include "wyrlan/call_connection.h"
#include "wyrlan/events_connection.h"
#include "wyrlan/handler_api.h"
#include "wyrlan/log.h"
#include "wyrlan/store/site.h"

namespace wyrlan {
namespace {

bool Listen(asio::ip::tcp::acceptor& a, const asio::ip::tcp::endpoint& ep, std::string& error) {
    asio::error_code ec;
    a.open(ep.protocol(), ec);
    if (!ec) a.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec) a.bind(ep, ec);
    if (!ec) a.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + ep.address().to_string() + ":" + std::to_string(ep.port()) + ": " + ec.message();
        return false;
    }
    return true;
}

}  // namespace

Server::Server(asio::io_context& io, const Options& options)
    : io_(io),
      options_(options),
      sessions_(options.maxSessions),
      services_{io, options, sessions_, forecourt_, nullptr, ToUtf16(options.hashKey)},
      callAcceptor_(io),
      eventsAcceptor_(io),
      signals_(io, SIGINT, SIGTERM),
      tick_(io) {}

bool Server::OpenStore(std::string& error) {
    store_ = store::Store::Open(options_.db, &error);
    if (!store_) {
        error = "database " + options_.db + ": " + error;
        return false;
    }
    const bool fill = options_.demoSite || !options_.generateSite.empty();
    if (fill && store_->IsEmpty()) {
        const bool demo = options_.demoSite;
        int32_t r = demo ? store::FillDemoSite(*store_) : store::FillLargeSite(*store_);
        if (r != 0) {
            error = std::string("filling the ") + (demo ? "demo" : "large") + " site failed with " + std::to_string(r);
            return false;
        }
        LogInfo("database %s: filled with the %s site", options_.db.c_str(), demo ? "demo" : "large");
    } else {
        LogInfo("database %s%s", options_.db.c_str(), fill ? " (not empty: kept as it is)" : "");
    }
    store_->SetChangeCallback([this](int32_t tableId, int32_t rowId) { PublishChange(tableId, rowId); });
    services_.store = store_.get();
    return true;
}

// DBTriggerEvent: [TableID, RowID], to the sessions whose mask asks for kind 10.
void Server::PublishChange(int32_t tableId, int32_t rowId) {
    constexpr int16_t kDBTriggerEvent = 10;
    Frame frame = MakeEvent(kDBTriggerEvent, 2, [&](wire::ValueWriter& w) {
        w.Put(tableId);
        w.Put(rowId);
    });
    if (frame) sessions_.Publish(kDBTriggerEvent, frame);
}

bool Server::Open(std::string& error) {
    if (!OpenStore(error)) return false;
    asio::error_code ec;
    asio::ip::address address = asio::ip::make_address(options_.listen, ec);
    if (ec) {
        error = "bad --listen address '" + options_.listen + "'";
        return false;
    }
    if (!Listen(callAcceptor_, {address, options_.callPort}, error)) return false;
    if (!Listen(eventsAcceptor_, {address, options_.eventsPort}, error)) return false;
    LogInfo("listening on %s, calls port %u, events port %u, at most %d sessions", options_.listen.c_str(),
            options_.callPort, options_.eventsPort, options_.maxSessions);

    signals_.async_wait([this](const asio::error_code& e, int signo) {
        if (e) return;
        LogInfo("signal %d: shutting down", signo);
        Shutdown();
    });
    Accept<CallConnection>(callAcceptor_);
    Accept<EventsConnection>(eventsAcceptor_);
    Tick();
    return true;
}

template <class C>
void Server::Accept(asio::ip::tcp::acceptor& acceptor) {
    acceptor.async_accept([this, &acceptor](const asio::error_code& ec, asio::ip::tcp::socket socket) {
        if (stopped_) return;
        if (ec) {
            if (ec == asio::error::operation_aborted) return;
            LogError("accept: %s", ec.message().c_str());
            // Out of descriptors and the like: keep accepting; a short pause would be kinder but
            // the loop must not block.
        } else {
            Prune();
            // Unauthenticated connections count too: a bound keeps a flood from using up
            // descriptors. Two per session plus room for logons in progress.
            const size_t maxConnections = static_cast<size_t>(options_.maxSessions) * 2 + 32;
            if (connections_.size() >= maxConnections) {
                LogError("refusing a connection: %zu open", connections_.size());
                auto close = wire::EncodeClose(QUENDRIL_TOO_MANY_SESSIONS);
                asio::error_code e;
                socket.non_blocking(true, e);
                socket.write_some(asio::buffer(close), e);
                socket.close(e);
            } else {
                auto c = std::make_shared<C>(std::move(socket), services_);
                connections_.push_back(c);
                c->Start();
            }
        }
        Accept<C>(acceptor);
    });
}

void Server::Prune() {
    connections_.remove_if([](const std::weak_ptr<Connection>& w) { return w.expired(); });
}

void Server::Tick() {
    tick_.expires_after(kForecourtTick);
    tick_.async_wait([this](const asio::error_code& ec) {
        if (ec || stopped_) return;
        forecourt_.Tick(std::chrono::steady_clock::now(), sessions_);
        // The writes of the last tick go from the store's journal into its file.
        if (store_) store_->Flush();
        Tick();
    });
}

void Server::Shutdown() {
    if (stopped_) return;
    stopped_ = true;
    asio::error_code ec;
    callAcceptor_.close(ec);
    eventsAcceptor_.close(ec);
    signals_.cancel(ec);
    tick_.cancel();
    sessions_.DisconnectAll(0);
    for (auto& w : connections_) {
        if (auto c = w.lock()) c->Stop();
    }
    connections_.clear();
}

}  // namespace wyrlan
