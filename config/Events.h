#pragma once
// Published events of components: method-pointer-like members that the framework reads,
// saves, replaces and restores by name (date fields swap OnEnter/OnExit, required fields
// swap OnClick, the controller hooks a form's OnShow/OnHide/OnDestroy).

#include <functional>
#include <string_view>

class QObject;

using TNotifyEvent = std::function<void(QObject* sender)>;

// A component whose notify events can be found by name. Each class answers the names it
// publishes (without regard to case) and passes other names to its base class.
class TEventSource {
public:
    virtual ~TEventSource() = default;
    // The member that holds the named event, or nullptr when the class has no such event.
    virtual TNotifyEvent* notifyEvent(std::string_view name);
};

// Case-insensitive ASCII comparison of published names.
bool SameName(std::string_view a, std::string_view b);

// The notify event of any object by name; nullptr when the object publishes none of that name.
TNotifyEvent* FindNotifyEvent(QObject* object, std::string_view name);

// Calls an event when it is assigned.
inline void Fire(const TNotifyEvent& event, QObject* sender)
{
    if (event)
        event(sender);
}
