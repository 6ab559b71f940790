#pragma once
// Typed change events of a data owner, with subscriptions that end when their handle goes: a
// view keeps the handle as a member and can never be told after it is destroyed. Used on one
// thread (the GUI thread); a handler may subscribe or unsubscribe others while it runs.
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

template <class Event> class CEventChannel {
    struct State {
        std::vector<std::pair<std::uint64_t, std::function<void(const Event&)>>> handlers;
        std::uint64_t next = 1;
    };

public:
    using Handler = std::function<void(const Event&)>;

    // Ends its subscription when destroyed or reset; outliving the channel is harmless.
    class CSubscription {
    public:
        CSubscription() = default;
        CSubscription(CSubscription&& other) noexcept
            : m_state(std::move(other.m_state)), m_id(std::exchange(other.m_id, 0)) {}
        CSubscription& operator=(CSubscription&& other) noexcept {
            if (this != &other) {
                Reset();
                m_state = std::move(other.m_state);
                m_id = std::exchange(other.m_id, 0);
            }
            return *this;
        }
        CSubscription(const CSubscription&) = delete;
        CSubscription& operator=(const CSubscription&) = delete;
        ~CSubscription() { Reset(); }

        void Reset() {
            if (auto state = m_state.lock()) {
                std::erase_if(state->handlers, [this](const auto& h) { return h.first == m_id; });
            }
            m_state.reset();
            m_id = 0;
        }

    private:
        friend class CEventChannel;
        CSubscription(std::weak_ptr<State> state, std::uint64_t id)
            : m_state(std::move(state)), m_id(id) {}
        std::weak_ptr<State> m_state;
        std::uint64_t m_id = 0;
    };

    [[nodiscard]] CSubscription Subscribe(Handler handler) {
        const std::uint64_t id = m_state->next++;
        m_state->handlers.emplace_back(id, std::move(handler));
        return CSubscription(m_state, id);
    }

    // Tells every subscriber that was there when it began and is still there.
    void Publish(const Event& event) const {
        std::vector<std::uint64_t> ids;
        ids.reserve(m_state->handlers.size());
        for (const auto& h : m_state->handlers) {
            ids.push_back(h.first);
        }
        for (std::uint64_t id : ids) {
            Handler handler;
            for (const auto& h : m_state->handlers) {
                if (h.first == id) {
                    handler = h.second;
                    break;
                }
            }
            if (handler) {
                handler(event);
            }
        }
    }

private:
    std::shared_ptr<State> m_state = std::make_shared<State>();
};
