// Exceptions.h: the framework's error classes, with the message texts users see.
#pragma once

#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>

// Replaces each "%s" or "%d" in pattern, in order, by the next of args.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

// The base of every error the framework catches and shows in its error box.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// A read that found fewer bytes than it needed. The loaders turn this one
// kind of failure, and no other, into a false result.
class EReadError : public EStreamError {
public:
    EReadError() : EStreamError("ストリームからの読み込みエラー") {}
};

class EWriteError : public EStreamError {
public:
    EWriteError() : EStreamError("ストリームへの書き込みエラー") {}
};

class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(std::string_view fileName)
        : EStreamError(Format("ファイル %s は開けません", {fileName})) {}
};

class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(std::string_view fileName)
        : EStreamError(Format("ファイル %s を作成できません", {fileName})) {}
};

class ERangeError : public Exception {
public:
    ERangeError() : Exception("範囲チェックエラー") {}
    using Exception::Exception;
};

// An arithmetic result that does not fit its signed 32-bit counter.
class EIntOverflow : public Exception {
public:
    EIntOverflow() : Exception("整数オーバーフロー") {}
};

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// A picture whose format is unknown or whose contents cannot be decoded.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// A show larger than any show is: more characters, or more decoded picture
// bytes, than the loader lets one show hold. Raised before the memory for it
// is taken. Limit() says in English which limit was passed.
class EShowTooLarge : public Exception {
public:
    explicit EShowTooLarge(std::string limit)
        : Exception("データが大きすぎるため、開くことが出来ません。"), limit_(std::move(limit))
    {
    }
    const std::string& Limit() const noexcept { return limit_; }

private:
    std::string limit_;
};
