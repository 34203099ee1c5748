// Observers are on a list exactly as long as their subscriptions live: gone
// when it goes, moved with it, and harmless after the list itself is gone.
#include "session/Observers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace lorvanta;

namespace {

struct Named {
    std::string name;
};

std::string Told(const ObserverList<Named>& list) {
    std::string names;
    list.Notify([&names](Named& observer) { names += observer.name; });
    return names;
}

} // namespace

TEST(Observers, ASubscriptionHoldsItsObserverOnTheListForItsLifetime) {
    Named a{"a"}, b{"b"}, c{"c"};
    ObserverList<Named> list;
    Subscription kept = list.Subscribe(a);
    {
        const Subscription passing = list.Subscribe(b);
        EXPECT_EQ(Told(list), "ab");
    }
    EXPECT_EQ(Told(list), "a");
    Subscription moved = list.Subscribe(c);
    Subscription target = std::move(moved);
    EXPECT_EQ(Told(list), "ac");
    moved.Reset(); // moved from: removes nothing
    EXPECT_EQ(Told(list), "ac");
    target = list.Subscribe(b); // the old subscription (c) ends
    EXPECT_EQ(Told(list), "ab");
    kept.Reset();
    EXPECT_EQ(Told(list), "b");

    auto gone = std::make_unique<ObserverList<Named>>();
    Subscription outliving = gone->Subscribe(a);
    gone.reset();
    outliving.Reset(); // the list went first: nothing to remove, nothing touched
}
