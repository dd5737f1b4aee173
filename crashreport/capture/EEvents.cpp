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
template <class Call>
void Dispatch(Call&& call)
{
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
    Dispatch([&](TDuruvaDodHandlers& h) {
        auto slot = handled ? h.HandledExceptionNotify : h.ExceptionNotify;
        if (slot)
            slot(h.Data, record, handle);
    });
}

void LocalExceptionActionNotify(TVurazaExceptionRecord& record, uint8_t action, bool& continueFlag)
{
    Dispatch([&](TDuruvaDodHandlers& h) {
        if (h.ExceptionActionNotify)
            h.ExceptionActionNotify(h.Data, record, action, continueFlag);
    });
}

void LocalExceptionErrorNotify(TVurazaExceptionRecord& record, uint8_t step, bool& retry)
{
    Dispatch([&](TDuruvaDodHandlers& h) {
        if (h.ExceptionErrorNotify)
            h.ExceptionErrorNotify(h.Data, record, step, retry);
    });
}

void LocalPasswordRequest(TVurazaExceptionRecord& record, std::string& password)
{
    Dispatch([&](TDuruvaDodHandlers& h) {
        if (h.PasswordRequest)
            h.PasswordRequest(h.Data, record, password);
    });
}

void LocalCustomDataRequest(TVurazaExceptionRecord& record, TStringList& lines)
{
    Dispatch([&](TDuruvaDodHandlers& h) {
        if (h.CustomDataRequest)
            h.CustomDataRequest(h.Data, record, lines);
    });
}

void LocalAttachedFilesRequest(TVurazaExceptionRecord& record, TStringList& files)
{
    Dispatch([&](TDuruvaDodHandlers& h) {
        if (h.AttachedFilesRequest)
            h.AttachedFilesRequest(h.Data, record, files);
    });
}

void LocalCustomWebFieldsRequest(TVurazaExceptionRecord& record, TStringList& fields)
{
    Dispatch([&](TDuruvaDodHandlers& h) {
        if (h.CustomWebFieldsRequest)
            h.CustomWebFieldsRequest(h.Data, record, fields);
    });
}

void LocalCustomButtonClick(TVurazaExceptionRecord& record, bool& close)
{
    Dispatch([&](TDuruvaDodHandlers& h) {
        if (h.CustomButtonClick)
            h.CustomButtonClick(h.Data, record, close);
    });
}

void ReviveEventStatics()
{
    ReviveStatic(CustomDataList);
    ReviveStatic(AttachedFilesList);
    ReviveStatic(CustomWebFieldsList);
    ReviveStatic(RequestedPassword);
}
