#include "crashreport/capture/EEvents.h"

#include <atomic>

#include "crashreport/capture/ERevive.h"
#include "framework/NeverDestroyed.h"

TVurazaExceptionRecord CurrentExceptionRecord;
TVurazaExceptionRecord* volatile CurrentExceptionRecordPtr = nullptr;
TStringList CustomDataList, AttachedFilesList, CustomWebFieldsList;
std::string RequestedPassword;
volatile bool NotifyHandleFlag = false, ActionContinueFlag = false, ErrorRetryFlag = false;

namespace {

// A fixed table: dispatch during a handling must not allocate, and registration is rare.
constexpr int OwnerCapacity = 64;
constinit std::atomic<TDuruvaDodHandlers*> owners[OwnerCapacity] = {};
constinit std::atomic<int> ownerCount = 0;
constinit TDuruvaDodHandlers procedures;
constinit std::atomic_flag registering;

// Registration changes the table one at a time; dispatch only reads it.
struct TRegistrationLock {
    TRegistrationLock()
    {
        while (registering.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~TRegistrationLock() { registering.clear(std::memory_order_release); }
};

// Every owner whose slot is set, last registered first, then the procedure variable.
template <auto Slot, class... Args>
void Dispatch(Args&&... args)
{
    auto call = [&](TDuruvaDodHandlers& h) {
        if (auto slot = h.*Slot)
            slot(h.Data, args...);
    };
    for (int i = ownerCount.load() - 1; i >= 0; --i)
        if (TDuruvaDodHandlers* owner = owners[i].load())
            call(*owner);
    call(procedures);
}

}  // namespace

bool RegisterDuruvaDodHandlers(TDuruvaDodHandlers* owner)
{
    if (!owner)
        return false;
    TRegistrationLock lock;
    const int n = ownerCount.load();
    if (n >= OwnerCapacity)
        return false;
    owners[n].store(owner);
    ownerCount.store(n + 1);
    return true;
}

void UnregisterDuruvaDodHandlers(TDuruvaDodHandlers* owner)
{
    TRegistrationLock lock;
    int n = ownerCount.load();
    for (int i = n - 1; i >= 0; --i) {
        if (owners[i].load() == owner) {
            owners[i].store(nullptr);
            break;
        }
    }
    // Trailing holes go, so that the table doesn't fill up with them.
    while (n > 0 && !owners[n - 1].load())
        --n;
    ownerCount.store(n);
}

TDuruvaDodHandlers& DuruvaDodEventProcedures()
{
    return procedures;
}

void LocalExceptionNotify(TVurazaExceptionRecord& record, bool handled, bool& handle)
{
    if (handled)
        Dispatch<&TDuruvaDodHandlers::HandledExceptionNotify>(record, handle);
    else
        Dispatch<&TDuruvaDodHandlers::ExceptionNotify>(record, handle);
}

void LocalExceptionActionNotify(TVurazaExceptionRecord& record, uint8_t action, bool& continueFlag)
{
    Dispatch<&TDuruvaDodHandlers::ExceptionActionNotify>(record, action, continueFlag);
}

void LocalExceptionErrorNotify(TVurazaExceptionRecord& record, uint8_t step, bool& retry)
{
    Dispatch<&TDuruvaDodHandlers::ExceptionErrorNotify>(record, step, retry);
}

void LocalPasswordRequest(TVurazaExceptionRecord& record, std::string& password)
{
    Dispatch<&TDuruvaDodHandlers::PasswordRequest>(record, password);
}

void LocalCustomDataRequest(TVurazaExceptionRecord& record, TStringList& lines)
{
    Dispatch<&TDuruvaDodHandlers::CustomDataRequest>(record, lines);
}

void LocalAttachedFilesRequest(TVurazaExceptionRecord& record, TStringList& files)
{
    Dispatch<&TDuruvaDodHandlers::AttachedFilesRequest>(record, files);
}

void LocalCustomWebFieldsRequest(TVurazaExceptionRecord& record, TStringList& fields)
{
    Dispatch<&TDuruvaDodHandlers::CustomWebFieldsRequest>(record, fields);
}

void LocalCustomButtonClick(TVurazaExceptionRecord& record, bool& close)
{
    Dispatch<&TDuruvaDodHandlers::CustomButtonClick>(record, close);
}

void ReviveEventStatics()
{
    ReviveStatic(CustomDataList);
    ReviveStatic(AttachedFilesList);
    ReviveStatic(CustomWebFieldsList);
    ReviveStatic(RequestedPassword);
}
