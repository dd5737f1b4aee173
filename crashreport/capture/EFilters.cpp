#include "crashreport/capture/EFilters.h"

#include "crashreport/capture/EClassNames.h"
#include "crashreport/capture/EOptions.h"

TVurazaExceptionsFilters::~TVurazaExceptionsFilters()
{
    owner_ = nullptr;  // the owner is going away: nothing to publish
    items_.clear();
}

void TVurazaExceptionsFilters::Changed()
{
    if (owner_)
        owner_->Changed();
}

int TVurazaExceptionsFilters::Add(std::unique_ptr<TExceptionFilter> filter)
{
    items_.push_back(std::move(filter));
    Changed();
    return Count() - 1;
}

void TVurazaExceptionsFilters::Delete(int index)
{
    (void)items_.at(static_cast<size_t>(index));  // out-of-range raises before anything changes
    items_.erase(items_.begin() + index);
    Changed();
}

void TVurazaExceptionsFilters::Clear()
{
    items_.clear();
    Changed();
}

void TVurazaExceptionsFilters::AssignFilters(const TVurazaExceptionsFilters& source)
{
    if (&source == this)
        return;
    Clear();
    for (const auto& f : source.items_)
        Add(std::make_unique<TExceptionFilter>(*f));
}

int TVurazaExceptionsFilters::FindExceptionFilter(const std::exception_ptr& error, bool firstFlag) const
{
    if (items_.empty() || !error)
        return -1;
    const std::vector<std::string>* activeXNames = nullptr;
    try {
        std::rethrow_exception(error);
    } catch (const TActiveXException& e) {
        activeXNames = &e.ClassNames();  // the object lives as long as error does
    } catch (...) {
    }
    if (!activeXNames)
        return FindExceptionFilter(ExceptionType(error), firstFlag);
    for (size_t i = 0; i < items_.size(); ++i) {
        const TExceptionFilter& f = *items_[i];
        if (!f.Active)
            continue;
        for (const std::string& name : *activeXNames)
            if (name == f.ClassName)
                return static_cast<int>(i);
    }
    return -1;
}

int TVurazaExceptionsFilters::FindExceptionFilter(const std::type_info* type, bool firstFlag) const
{
    for (size_t i = 0; i < items_.size(); ++i) {
        const TExceptionFilter& f = *items_[i];
        if (!f.Active)
            continue;
        const bool kindFits = f.Kind == 0 || (f.Kind == 1 && firstFlag) || (f.Kind == 2 && !firstFlag);
        if (kindFits && type && TypeInheritsFromName(*type, f.ClassName))
            return static_cast<int>(i);
    }
    return -1;
}
