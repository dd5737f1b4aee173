#pragma once
// Exception filters: ordered rules that make the reporter treat chosen exception classes
// differently (another dialog or none, another message, another handler, an action).

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "framework/Exception.h"

class TVurazaModuleOptions;

struct TExceptionFilter {
    bool Active = true;
    std::string ClassName;
    std::string Message;       // replaces the exception's message when not empty
    uint8_t Kind = 0;          // 0 always, 1 only with the record's first flag, 2 only without
    uint8_t DialogChoice = 0;  // 0 none, 1 the options' kind, 2 box, 3 Windows-style, 4 detailed
    uint8_t Handler = 2;       // 2: the reporter's own full handling
    uint8_t Action = 0;
};

// An ActiveX error carries the names of its classes; filters match them byte for byte.
class TActiveXException : public Exception {
public:
    TActiveXException(std::string message, std::vector<std::string> classNames)
        : Exception(std::move(message)), classNames_(std::move(classNames)) {}
    const std::vector<std::string>& ClassNames() const { return classNames_; }

private:
    std::vector<std::string> classNames_;
};

class TVurazaExceptionsFilters {
public:
    explicit TVurazaExceptionsFilters(TVurazaModuleOptions* owner) : owner_(owner) {}
    ~TVurazaExceptionsFilters();
    TVurazaExceptionsFilters(const TVurazaExceptionsFilters&) = delete;
    TVurazaExceptionsFilters& operator=(const TVurazaExceptionsFilters&) = delete;

    int Count() const { return static_cast<int>(items_.size()); }
    const TExceptionFilter& Items(int index) const { return *items_.at(static_cast<size_t>(index)); }
    TExceptionFilter& Items(int index) { return *items_.at(static_cast<size_t>(index)); }
    int Add(std::unique_ptr<TExceptionFilter> filter);
    int Add(const TExceptionFilter& filter) { return Add(std::make_unique<TExceptionFilter>(filter)); }
    void Delete(int index);
    void Clear();
    void AssignFilters(const TVurazaExceptionsFilters& source);

    // Index of the first active filter that fits, or -1.
    int FindExceptionFilter(const std::exception_ptr& error, bool firstFlag) const;
    // By the class alone (an object the road carries without an exception_ptr).
    int FindExceptionFilter(const std::type_info* type, bool firstFlag) const;

private:
    void Changed();
    TVurazaModuleOptions* owner_;
    std::vector<std::unique_ptr<TExceptionFilter>> items_;
};
