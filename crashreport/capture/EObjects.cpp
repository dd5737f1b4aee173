#include "crashreport/capture/EObjects.h"

#include <cstdint>
#include <cstring>

#include "crashreport/capture/EClassNames.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EUtils.h"
#include "framework/Exception.h"
#include "framework/SysUtils.h"

namespace {

// Longest class name we accept as sound.
const size_t kMaxNameLength = 1024;

// Length of the readable, printable, terminated text at p; npos when it is not one.
size_t PrintableTextLength(const char* p)
{
    size_t n = 0;
    while (n <= kMaxNameLength) {
        // Probe up to the end of the page, then scan it.
        const uintptr_t at = reinterpret_cast<uintptr_t>(p + n);
        const size_t chunk = 4096 - (at & 4095);
        if (!IsReadableMemory(p + n, chunk))
            return std::string_view::npos;
        for (size_t i = 0; i < chunk && n <= kMaxNameLength; ++i, ++n) {
            const unsigned char c = static_cast<unsigned char>(p[n]);
            if (c == 0)
                return n;
            if (c < 32)
                return std::string_view::npos;
        }
    }
    return std::string_view::npos;
}

bool IsTypeInfoClassName(const char* name)
{
    static const char* const names[] = {
        "N10__cxxabiv117__class_type_infoE",
        "N10__cxxabiv120__si_class_type_infoE",
        "N10__cxxabiv121__vmi_class_type_infoE",
    };
    for (const char* n : names) {
        const size_t length = std::strlen(n) + 1;
        if (IsReadableMemory(name, length) && std::memcmp(name, n, length) == 0)
            return true;
    }
    return false;
}

template <typename T>
bool ReadWord(const void* at, T& value)
{
    if (!IsReadableMemory(at, sizeof value))
        return false;
    std::memcpy(&value, at, sizeof value);
    return true;
}

// The object's virtual table words -2 (offset to the whole object) and -1 (its type).
bool ReadVtableHead(const void* object, intptr_t& offsetToTop, const void*& type)
{
    if (!object)
        return false;
    const uint8_t* vtable = nullptr;
    if (!ReadWord(object, vtable) || !vtable || reinterpret_cast<uintptr_t>(vtable) < 8)
        return false;
    return ReadWord(vtable - 8, offsetToTop) && ReadWord(vtable - 4, type);
}

// The object as the base class target, through the runtime's own catch matching.
const void* UpcastTo(const void* object, const std::type_info& target)
{
    intptr_t offsetToTop = 0;
    const void* type = nullptr;
    if (!ReadVtableHead(object, offsetToTop, type) || !IsClassReference(type))
        return nullptr;
    void* whole = const_cast<uint8_t*>(static_cast<const uint8_t*>(object) + offsetToTop);
    if (!IsReadableMemory(whole, 4))
        return nullptr;
    void* adjusted = whole;
    const auto& dynamicType = *static_cast<const std::type_info*>(type);
    return target.__do_catch(&dynamicType, &adjusted, 1) ? adjusted : nullptr;
}

}  // namespace

bool IsClassReference(const void* typeInfo)
{
    // type_info: its virtual table pointer, then its name.
    const uint8_t* vtable = nullptr;
    const char* name = nullptr;
    if (!typeInfo || !ReadWord(typeInfo, vtable) || !ReadWord(static_cast<const uint8_t*>(typeInfo) + 4, name))
        return false;
    const void* metaType = nullptr;
    if (!vtable || reinterpret_cast<uintptr_t>(vtable) < 4 || !ReadWord(vtable - 4, metaType) || !metaType)
        return false;
    const char* metaName = nullptr;
    if (!ReadWord(static_cast<const uint8_t*>(metaType) + 4, metaName) || !metaName || !IsTypeInfoClassName(metaName))
        return false;
    const size_t length = name ? PrintableTextLength(name) : std::string_view::npos;
    return length != std::string_view::npos && length > 0;
}

bool IsValidObject(const void* object)
{
    intptr_t offsetToTop = 0;
    const void* type = nullptr;
    return ReadVtableHead(object, offsetToTop, type) && IsClassReference(type);
}

const std::type_info* ObjectClass(const void* object)
{
    intptr_t offsetToTop = 0;
    const void* type = nullptr;
    if (!ReadVtableHead(object, offsetToTop, type) || !IsClassReference(type))
        return nullptr;
    return static_cast<const std::type_info*>(type);
}

std::string ObjectClassName(const void* object)
{
    const std::type_info* type = ObjectClass(object);
    return type ? DemangledTypeName(*type) : std::string();
}

bool ClassInheritsFromName(const void* typeInfo, std::string_view name)
{
    return IsClassReference(typeInfo) && TypeInheritsFromName(*static_cast<const std::type_info*>(typeInfo), name);
}

bool ClassInheritsFromNameUnchecked(const std::type_info& type, std::string_view name)
{
    return TypeInheritsFromName(type, name);
}

bool ObjectInheritsFromName(const void* object, std::string_view name)
{
    const std::type_info* type = ObjectClass(object);
    return type && TypeInheritsFromName(*type, name);
}

bool ObjectInheritsFrom(const void* object, const std::type_info& type)
{
    return ObjectInheritsFromName(object, DemangledTypeName(type));
}

bool ObjectInheritsFromAny(const void* object, std::initializer_list<const std::type_info*> types)
{
    for (const std::type_info* t : types)
        if (t && ObjectInheritsFrom(object, *t))
            return true;
    return false;
}

bool IsReportableException(const void* object)
{
    return IsValidObject(object) && !ObjectInheritsFromName(object, "EAbort");
}

bool IsLanguageException(const void* object)
{
    return !ObjectInheritsFromName(object, "EExternal");
}

std::string ObjectMessage(const void* object)
{
    if (const void* e = UpcastTo(object, typeid(Exception))) {
        // A structured exception made on the road keeps its message in itself.
        const auto* exception = static_cast<const Exception*>(e);
        return exception->Message().empty() ? std::string(exception->what()) : exception->Message();
    }
    if (const void* e = UpcastTo(object, typeid(std::exception))) {
        const char* text = static_cast<const std::exception*>(e)->what();
        const size_t n = text ? PrintableTextLength(text) : std::string_view::npos;
        return n == std::string_view::npos ? std::string() : std::string(text, n);
    }
    return "";
}

std::unique_ptr<TObjectSnapshot> CopyObjectInstance(const void* object)
{
    if (!object)
        return nullptr;
    auto copy = std::make_unique<TObjectSnapshot>();
    copy->address = object;
    copy->className = ObjectClassName(object);
    if (!copy->className.empty())
        copy->message = ObjectMessage(object);
    return copy;
}

void FreeObjectCopy(std::unique_ptr<TObjectSnapshot>& copy)
{
    copy.reset();
}

void RecordObjectInThread(const void* object, uint32_t value)
{
    TThreadExceptionContext* record = ThreadExceptionContext();
    if (!record)
        return;
    record->lastExceptionTypeName[0] = '\0';
    if (const std::type_info* type = ObjectClass(object))
        ClassNameOfMangled(type->name(), record->lastExceptionTypeName, sizeof record->lastExceptionTypeName);
    record->lastExceptionAddress = value;
}
