// Which handler answers an HTTP request, by method and path. The rows are tried in order and
// the first that matches answers: methods first (OPTIONS, sources, the methods we refuse), then
// exact paths and prefixes, the stream paths, and the pages last, which take whatever is left.
// A new page is a handler file and a row.
#pragma once

#include "engine/handlers/handlers.h"

#include <array>
#include <span>
#include <string_view>

namespace orvanta::engine {

struct Route {
    enum class Methods { Any, OneOf, NoneOf };
    enum class Path { Any, Exact, Prefix, Predicate };

    Methods methodMatch = Methods::Any;
    std::array<std::string_view, 2> methods{};  // unused places are empty
    Path pathMatch = Path::Any;
    std::string_view path;  // for Exact and Prefix
    bool (*accepts)(const Request& request, const RequestContext& context) = nullptr;
    Handler handler = nullptr;

    bool Matches(const Request& request, const RequestContext& context) const;
};

// The engine's routes, in the order they are tried.
std::span<const Route> Routes();
// The handler of `request`: the first route that matches (the last one takes anything).
Handler FindHandler(const Request& request, const RequestContext& context);

}  // namespace orvanta::engine
