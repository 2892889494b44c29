// The process-wide cache of short strings read from JSON documents: object keys and
// short values repeat across records and documents, and a hit saves creating and
// hashing a new str.
#pragma once

#include <Python.h>

#include <string_view>

#include "support/py_ref.hpp"

namespace kestrune::py {

// Texts of this many UTF-8 bytes go through the cache, keys and values alike.
inline constexpr std::size_t kCachedStringMinBytes = 2;
inline constexpr std::size_t kCachedStringMaxBytes = 63;

// A str for the UTF-8 `text` (which the reader has validated): the cached object
// when one is found, else a new one that the cache keeps. Null with an exception set
// only under memory exhaustion.
PyRef cached_string(std::string_view text);

}  // namespace kestrune::py
