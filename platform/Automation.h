#pragma once
// Late-bound automation: objects called by member name with Variant arguments, and
// creation of objects by ProgID through a class table.
//
// Names compare without regard to case. Arguments travel as a span so that a callee can
// write back by-reference arguments. A call of a name the object does not have raises
// AutomationError; anything the member itself raises passes to the caller unchanged.

#include "platform/Variant.h"

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

class Dispatch : public std::enable_shared_from_this<Dispatch> {
public:
    virtual ~Dispatch() = default;
    // A method call, or a property read with arguments.
    virtual Variant invoke(std::string_view name, std::span<Variant> args) = 0;
    // A property read; a method without arguments answers it too.
    virtual Variant get(std::string_view name) = 0;
    virtual void put(std::string_view name, const Variant& value) = 0;
};

// An automation object whose members are registered in a table by its constructor.
class DispatchObject : public Dispatch {
public:
    using Method = std::function<Variant(std::span<Variant> args)>;
    using Getter = std::function<Variant()>;
    using Setter = std::function<void(const Variant&)>;

    Variant invoke(std::string_view name, std::span<Variant> args) override;
    Variant get(std::string_view name) override;
    void put(std::string_view name, const Variant& value) override;

    bool hasMember(std::string_view name) const;

protected:
    void defineMethod(std::string_view name, Method method);
    void defineProperty(std::string_view name, Getter getter, Setter setter = {});

    // Argument i, or AutomationError naming the member when the caller passed fewer.
    static Variant& arg(std::span<Variant> args, std::size_t i);
    // Argument i, or Empty when the caller passed fewer (optional arguments).
    static Variant optArg(std::span<Variant> args, std::size_t i);

private:
    struct Property {
        Getter getter;
        Setter setter;
    };
    std::map<std::string, Method, std::less<>> methods_;
    std::map<std::string, Property, std::less<>> properties_;
};

// An object of this process whose one method, name, calls method: what a caller hands to
// a member that calls back while it works (a receiver of rows).
DispatchPtr MakeCallbackObject(std::string_view name, DispatchObject::Method method);

// Factories of automation classes, by ProgID.
using OleFactory = std::function<DispatchPtr()>;

// Registers (or replaces) the factory of a ProgID for this process.
void RegisterOleClass(std::string_view progId, OleFactory factory);
void UnregisterOleClass(std::string_view progId);

// Creates an object by ProgID: from a registered factory, else from the shared library
// that the class-table file names for the ProgID (loaded once; it registers its classes
// through its exported function `OleRegisterClasses`). AutomationError when neither
// knows the ProgID or the factory fails.
//
// The class-table file is named by the environment variable QV_CLASS_TABLE; its section
// [Classes] holds lines ProgID=library path (a relative path counts from the file's folder).
DispatchPtr CreateOleObject(std::string_view progId);

// Signature of the registration function a class library exports.
extern "C" {
typedef void (*OleRegisterClassesProc)();
}
