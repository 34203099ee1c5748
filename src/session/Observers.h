#pragma once

// A list of observers that subscribe through an object: the observer is on the
// list exactly as long as its Subscription lives, so no remove can be
// forgotten. A Subscription may outlive the list (a view that goes after the
// session): it then removes nothing. Observers are the window's: they are
// told, and subscribe, on the thread that made the list (checked in debug
// builds).

#include "model/ThreadRole.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace lorvanta {

class Subscription {
public:
    Subscription() = default;
    Subscription(Subscription&& other) noexcept = default;
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            Reset();
            m_remove = std::move(other.m_remove);
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { Reset(); }

    // Leaves the list now.
    void Reset() {
        if (m_remove)
            m_remove->Remove();
        m_remove.reset();
    }

    struct Remover {
        virtual ~Remover() = default;
        virtual void Remove() = 0;
    };
    explicit Subscription(std::unique_ptr<Remover> remove) : m_remove(std::move(remove)) {}

private:
    std::unique_ptr<Remover> m_remove;
};

template <typename Observer> class ObserverList {
public:
    ObserverList() : m_observers(std::make_shared<std::vector<Observer*>>()) {
        m_windowThread.Claim();
    }
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    // Observers are told in the order they subscribed.
    [[nodiscard]] Subscription Subscribe(Observer& observer) {
        m_windowThread.Check();
        m_observers->push_back(&observer);
        return Subscription(std::make_unique<Remover>(m_observers, &observer));
    }

    template <typename Call> void Notify(Call call) const {
        m_windowThread.Check();
        for (Observer* observer : *m_observers)
            call(*observer);
    }

private:
    struct Remover : Subscription::Remover {
        Remover(const std::shared_ptr<std::vector<Observer*>>& list, Observer* item)
            : observers(list), observer(item) {}
        void Remove() override {
            if (const auto list = observers.lock())
                std::erase(*list, observer);
        }
        std::weak_ptr<std::vector<Observer*>> observers;
        Observer* observer;
    };

    std::shared_ptr<std::vector<Observer*>> m_observers;
    ThreadRole m_windowThread;
};

} // namespace lorvanta
