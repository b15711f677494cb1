#include "platform/Automation.h"
#include "platform/AsciiText.h"
#include "platform/DynLib.h"
#include "platform/IniFile.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

struct ClassTable {
    std::mutex mutex;
    std::map<std::string, OleFactory, std::less<>> factories;
};

ClassTable& classTable()
{
    static ClassTable table;
    return table;
}

OleFactory findFactory(std::string_view progId)
{
    ClassTable& t = classTable();
    std::lock_guard lock(t.mutex);
    auto it = t.factories.find(lowerAscii(progId));
    return it == t.factories.end() ? OleFactory() : it->second;
}

// Loads the library the class-table file names for progId; true when it registered classes.
bool loadClassLibrary(std::string_view progId)
{
    const char* tablePath = std::getenv("QV_CLASS_TABLE");
    if (!tablePath || !*tablePath)
        return false;
    IniFile table(tablePath);
    std::string lib = table.ReadString("Classes", std::string(progId), "");
    if (lib.empty())
        return false;
    std::filesystem::path p(lib);
    if (p.is_relative())
        p = std::filesystem::path(tablePath).parent_path() / p;
    // Class libraries stay loaded for the life of the process, as in-process servers do.
    HMODULE module = LoadLibrary(p.string());
    if (!module)
        throw AutomationError("Cannot load the class library " + p.string() + ": " + LastLibraryError());
    auto registerClasses = reinterpret_cast<OleRegisterClassesProc>(GetProcAddress(module, "OleRegisterClasses"));
    if (!registerClasses)
        throw AutomationError("The class library " + p.string() + " has no OleRegisterClasses");
    registerClasses();
    return true;
}

} // namespace

Variant DispatchObject::invoke(std::string_view name, std::span<Variant> args)
{
    const std::string key = lowerAscii(name);
    if (auto m = methods_.find(key); m != methods_.end())
        return m->second(args);
    if (auto p = properties_.find(key); p != properties_.end() && args.empty() && p->second.getter)
        return p->second.getter();
    throw AutomationError("Unknown name \"" + std::string(name) + "\"");
}

Variant DispatchObject::get(std::string_view name)
{
    const std::string key = lowerAscii(name);
    if (auto p = properties_.find(key); p != properties_.end() && p->second.getter)
        return p->second.getter();
    if (auto m = methods_.find(key); m != methods_.end())
        return m->second({});
    throw AutomationError("Unknown name \"" + std::string(name) + "\"");
}

void DispatchObject::put(std::string_view name, const Variant& value)
{
    auto p = properties_.find(lowerAscii(name));
    if (p == properties_.end() || !p->second.setter)
        throw AutomationError("Property \"" + std::string(name) + "\" cannot be written");
    p->second.setter(value);
}

bool DispatchObject::hasMember(std::string_view name) const
{
    const std::string key = lowerAscii(name);
    return methods_.count(key) || properties_.count(key);
}

void DispatchObject::defineMethod(std::string_view name, Method method)
{
    methods_[lowerAscii(name)] = std::move(method);
}

namespace {

class CallbackObject : public DispatchObject {
public:
    CallbackObject(std::string_view name, Method method) { defineMethod(name, std::move(method)); }
};

} // namespace

DispatchPtr MakeCallbackObject(std::string_view name, DispatchObject::Method method)
{
    return std::make_shared<CallbackObject>(name, std::move(method));
}

void DispatchObject::defineProperty(std::string_view name, Getter getter, Setter setter)
{
    properties_[lowerAscii(name)] = Property{std::move(getter), std::move(setter)};
}

Variant& DispatchObject::arg(std::span<Variant> args, std::size_t i)
{
    if (i >= args.size())
        throw AutomationError("Invalid number of parameters");
    return args[i];
}

Variant DispatchObject::optArg(std::span<Variant> args, std::size_t i)
{
    return i < args.size() ? args[i] : Variant();
}

void RegisterOleClass(std::string_view progId, OleFactory factory)
{
    ClassTable& t = classTable();
    std::lock_guard lock(t.mutex);
    t.factories[lowerAscii(progId)] = std::move(factory);
}

void UnregisterOleClass(std::string_view progId)
{
    ClassTable& t = classTable();
    std::lock_guard lock(t.mutex);
    t.factories.erase(lowerAscii(progId));
}

DispatchPtr CreateOleObject(std::string_view progId)
{
    OleFactory factory = findFactory(progId);
    if (!factory && loadClassLibrary(progId))
        factory = findFactory(progId);
    if (!factory)
        throw AutomationError("Invalid class string: " + std::string(progId));
    DispatchPtr object = factory();
    if (!object)
        throw AutomationError("The class " + std::string(progId) + " created no object");
    return object;
}
