// What call handlers can reach: the options, the sessions, the forecourt model and, once it
// exists, the configuration store. One object for the server's lifetime, used on its thread.
#pragma once

#include <asio.hpp>

#include "wyrlan/forecourt.h"
#include "wyrlan/options.h"
#include "wyrlan/sessions.h"

namespace wyrlan {

class Store;  // the configuration store (SQLite): handlers of the configuration functions use it

struct Services {
    asio::io_context& io;
    const Options& options;
    Sessions& sessions;
    Forecourt& forecourt;
    Store* store = nullptr;  // null until the store is opened by the server
    std::u16string hashKey;  // options.hashKey as UTF-16, compared with InternalClientLogon's
};

}  // namespace wyrlan
