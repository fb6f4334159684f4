#pragma once
// The context menu's modal loop dispatches messages, and the host may reset or destroy the viewer
// from inside it. A tracking call registers one of these in the viewer for the loop's time; the
// viewer's teardown marks it, and the call then touches nothing of the viewer when the loop
// returns.

class MenuTracking {
public:
    explicit MenuTracking(MenuTracking*& registered) : registered_(&registered) { registered = this; }
    // Once torn down the viewer, and the slot with it, may be gone.
    ~MenuTracking() {
        if (!tornDown_) *registered_ = nullptr;
    }
    MenuTracking(const MenuTracking&) = delete;
    MenuTracking& operator=(const MenuTracking&) = delete;

    void MarkTornDown() { tornDown_ = true; }
    bool TornDown() const { return tornDown_; }

private:
    MenuTracking** registered_;
    bool tornDown_ = false;
};
