// How the reader's inner steps hand a fault back: its kind and the byte it is at.
#pragma once

#include "kestrune/json/json_error.hpp"

namespace kestrune::json::detail {

struct ReadFailure {
    JsonErrorKind kind;
    const char* at;
};

}  // namespace kestrune::json::detail
