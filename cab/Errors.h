#pragma once
#include <stdexcept>
#include <string>

// A value that cannot be converted: an invalid stored date, an oversized number.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A stream that cannot be opened or read as asked.
class EStreamError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Memory ran out while reading: said as such, never taken for "not a setup".
class EOutOfMemory : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An entry larger than the reader allows; the message gives its size.
class ETooLarge : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
