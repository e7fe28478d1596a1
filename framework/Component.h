// Components: objects owned by another that go with their owner, and the event types their
// handlers are written to.
#pragma once

#include <functional>
#include <vector>

namespace fw {

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

// A component owned by another; owners destroy what they own, last created first.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    TComponent* Owner() const { return FOwner; }

protected:
    // Destroys the owned components now, last created first.
    void DestroyComponents();

private:
    TComponent* FOwner;
    std::vector<TComponent*> FComponents;
};

// A non-visual module created like a form; it has no window.
class TDataModule : public TComponent {
public:
    explicit TDataModule(TComponent* owner) : TComponent(owner) {}
};

}  // namespace fw
