// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/KeldError.h"

namespace keld {

std::string ErrorDescription(int number)
{
    switch (number) {
    case kErrInvalidArgument:
        return "Invalid procedure call or argument";
    case kErrOverflow:
        return "Overflow";
    case kErrOutOfMemory:
        return "Out of memory";
    case kErrTypeMismatch:
        return "Type mismatch";
    case kErrFileNotFound:
        return "File not found";
    case kErrCancel:
        return "Cancel was selected.";
    case kErrInternal:
        return "Internal error";
    case kErrBadFileName:
        return "Bad file name or number";
    case kErrDeviceIo:
        return "Device I/O error";
    case kErrDiskFull:
        return "Disk full";
    case kErrPastEndOfFile:
        return "Input past end of file";
    case kErrPermissionDenied:
        return "Permission denied";
    case kErrPathFileAccess:
        return "Path/File access error";
    case kErrPathNotFound:
        return "Path not found";
    case kErrInvalidPicture:
        return "Invalid picture";
    default:
        return "Application-defined or object-defined error";
    }
}

KeldError::KeldError(int number, std::string detail, std::string file, int line)
    : m_number(number), m_description(ErrorDescription(number)), m_detail(std::move(detail)),
      m_file(std::move(file)), m_line(line)
{
}

KeldError& KeldError::At(std::string file, int line)
{
    m_file = std::move(file);
    m_line = line;
    return *this;
}

KeldError& KeldError::WithDetail(std::string detail)
{
    m_detail = std::move(detail);
    return *this;
}

std::string KeldError::StartupMessage() const
{
    return std::to_string(m_number) + " " + m_description + " has occurred in " + m_source;
}

std::string KeldError::Location() const
{
    std::string text = m_file;
    if (m_line > 0)
        text += ":" + std::to_string(m_line);
    if (!text.empty())
        text += ": ";
    text += m_detail.empty() ? m_description : m_detail;
    return text;
}

void Raise(int number, std::string detail)
{
    throw KeldException(KeldError(number, std::move(detail)));
}

} // namespace keld
