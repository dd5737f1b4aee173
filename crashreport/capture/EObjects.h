#pragma once
// Tests on objects and their classes that never fault on a damaged pointer. A class is the C++
// type information (std::type_info); an object is a polymorphic object whose first word points
// into its virtual table. Every read is preceded by a readability probe.

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>

// A readable type_info of a class type (its own virtual table's slot -1 names one of the ABI's
// class type-info classes, matched by name as every module links its own runtime) with a
// printable name.
bool IsClassReference(const void* typeInfo);
bool IsValidObject(const void* object);
// The object's dynamic type, or nullptr when it is not valid.
const std::type_info* ObjectClass(const void* object);
std::string ObjectClassName(const void* object);

bool ClassInheritsFromName(const void* typeInfo, std::string_view name);
bool ClassInheritsFromNameUnchecked(const std::type_info& type, std::string_view name);
bool ObjectInheritsFromName(const void* object, std::string_view name);
// Decided by name: a class of another module with the same name counts.
bool ObjectInheritsFrom(const void* object, const std::type_info& type);
bool ObjectInheritsFromAny(const void* object, std::initializer_list<const std::type_info*> types);
bool IsReportableException(const void* object);  // valid, and no EAbort
bool IsLanguageException(const void* object);    // raised by code, not by the processor or system

// What a delivery thread needs of an exception object, owned, never a byte copy of it.
struct TObjectSnapshot {
    std::string className;
    std::string message;      // Exception::Message() or what(); empty for other classes
    const void* address;      // where the object was
};
std::unique_ptr<TObjectSnapshot> CopyObjectInstance(const void* object);
void FreeObjectCopy(std::unique_ptr<TObjectSnapshot>& copy);

// Writes the object's class name and value into the calling thread's record. Allocates nothing.
void RecordObjectInThread(const void* object, uint32_t value);

// The message of a polymorphic object deriving from std::exception, else empty.
std::string ObjectMessage(const void* object);
