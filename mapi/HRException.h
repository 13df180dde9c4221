#pragma once
// Failures of the source side: a MAPI result (HRESULT) with the place that raised it, written as
// "<unit>(<line>)" (for example "mapi/MapiObjects(548)"). LogonException comes only from logging
// on to a profile; FolderNotFoundException when a store has no IPM subtree.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>

namespace Tarvik::MAPI {

class HRException {
public:
    HRException(int32_t hr, std::string unit, int line)
        : hr_(hr), location_(std::move(unit) + "(" + std::to_string(line) + ")"), line_(line) {}
    virtual ~HRException() = default;

    virtual void Print(std::ostream& out) const { out << hr_; }
    int32_t ErrorCode() const { return hr_; }
    const std::string& Location() const { return location_; }
    int Line() const { return line_; }

private:
    int32_t hr_;
    std::string location_;
    int line_;
};

class LogonException : public HRException {
public:
    using HRException::HRException;
    void Print(std::ostream& out) const override { out << "LogonException: " << ErrorCode(); }
};

class FolderNotFoundException : public HRException {
public:
    using HRException::HRException;
    void Print(std::ostream& out) const override { out << "FolderNotFoundException: " << ErrorCode(); }
};

}  // namespace Tarvik::MAPI
