// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace keld {

// Error numbers follow the run-time library's numbering, which the program shows to the user.
inline constexpr int kErrInvalidArgument = 5;
inline constexpr int kErrOverflow = 6;
inline constexpr int kErrOutOfMemory = 7;
inline constexpr int kErrTypeMismatch = 13;
inline constexpr int kErrBadFileName = 52;
inline constexpr int kErrInternal = 51;
inline constexpr int kErrFileNotFound = 53;
inline constexpr int kErrDeviceIo = 57;
inline constexpr int kErrDiskFull = 61;
inline constexpr int kErrPastEndOfFile = 62;
inline constexpr int kErrPermissionDenied = 70;
inline constexpr int kErrPathFileAccess = 75;
inline constexpr int kErrPathNotFound = 76;
inline constexpr int kErrInvalidPicture = 481;
inline constexpr int kErrCancel = 32755;

// The program's own name, the source of every error raised inside it.
inline constexpr const char* kProgramSource = "KELDCharGen";

// The conventional description of an error number ("Overflow" for 6, and so on).
std::string ErrorDescription(int number);

// An error with its run-time number, plus where it happened when that is known.
class KeldError {
public:
    KeldError() = default;
    explicit KeldError(int number, std::string detail = {}, std::string file = {}, int line = 0);

    int Number() const { return m_number; }
    const std::string& Description() const { return m_description; }
    const std::string& Source() const { return m_source; }
    // What exactly is wrong, in words for the user ("fewer than 10 commas").
    const std::string& Detail() const { return m_detail; }
    const std::string& File() const { return m_file; }
    int Line() const { return m_line; }

    KeldError& At(std::string file, int line);
    KeldError& WithDetail(std::string detail);

    // "53 File not found has occurred in KELDCharGen"
    std::string StartupMessage() const;
    // "FILE:LINE: detail" (the line part only when known); falls back on the description.
    std::string Location() const;

private:
    int m_number = 0;
    std::string m_description;
    std::string m_source = kProgramSource;
    std::string m_detail;
    std::string m_file;
    int m_line = 0;
};

// Thrown inside the core; converted to a Result at the core's boundary.
class KeldException : public std::exception {
public:
    explicit KeldException(KeldError error) : m_error(std::move(error)) {}
    const KeldError& Error() const { return m_error; }
    const char* what() const noexcept override { return m_error.Description().c_str(); }

private:
    KeldError m_error;
};

[[noreturn]] void Raise(int number, std::string detail = {});

// Either a value or the error that prevented it.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::move(value)) {}
    Result(KeldError error) : m_data(std::move(error)) {}

    bool Ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return Ok(); }
    T& Value()
    {
        assert(Ok());
        return std::get<0>(m_data);
    }
    const T& Value() const
    {
        assert(Ok());
        return std::get<0>(m_data);
    }
    T& operator*() { return Value(); }
    const T& operator*() const { return Value(); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    const KeldError& Error() const
    {
        assert(!Ok());
        return std::get<1>(m_data);
    }

private:
    std::variant<T, KeldError> m_data;
};

struct Unit {};
using Status = Result<Unit>;
inline Status Success()
{
    return Unit{};
}

} // namespace keld
