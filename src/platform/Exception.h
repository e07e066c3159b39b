#pragma once
// The one exception base of the program: every error carries a message that
// the application's default error handling shows to the user as it stands.
#include <stdexcept>
#include <string>

namespace platform {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A text that does not convert to the wanted number.
class EConvertError : public Exception { using Exception::Exception; };
// Index outside a string list.
class EStringListError : public Exception { using Exception::Exception; };
// Stream failures: opening, creating, and short reads or writes where the
// caller asked for all or nothing (ReadBuffer, WriteBuffer).
class EStreamError : public Exception { using Exception::Exception; };
class EFOpenError : public EStreamError { using EStreamError::EStreamError; };
class EFCreateError : public EStreamError { using EStreamError::EStreamError; };
class EReadError : public EStreamError { using EStreamError::EStreamError; };
class EWriteError : public EStreamError { using EStreamError::EStreamError; };
// A file operation that failed in the operating system (message has its text).
class EInOutError : public Exception { using Exception::Exception; };
class EOutOfMemory : public Exception { using Exception::Exception; };

} // namespace platform
