// What call handlers can reach: the options, the sessions, the forecourt model and the
// configuration store. One object for the server's lifetime, used on its thread.
#pragma once

#include <asio.hpp>

#include "wyrlan/forecourt.h"
#include "wyrlan/options.h"
#include "wyrlan/sessions.h"

namespace wyrlan {

namespace store {
class Store;  // the configuration store (SQLite); it answers the configuration functions
}

struct Services {
    asio::io_context& io;
    const Options& options;
    Sessions& sessions;
    Forecourt& forecourt;
    store::Store* store = nullptr;  // null until Server::Open has opened it
    std::u16string hashKey;  // options.hashKey as UTF-16, compared with InternalClientLogon's
};

}  // namespace wyrlan
