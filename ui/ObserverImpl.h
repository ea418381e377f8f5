#pragma once

#include <cstdint>
#include <map>

template <typename ReturnT, typename ParamT>
class ReceiverImpl;

// A broadcaster: receivers are kept in the order they were added (each under the number of
// receivers added before it) and every broadcast reaches them in that order. UI thread only.
template <typename ReturnT, typename ParamT>
class ObserverImpl {
public:
    using Receiver = ReceiverImpl<ReturnT, ParamT>;

    virtual ~ObserverImpl()
    {
        // A receiver outliving the observer must not call back into it.
        const auto receivers = m_receivers;
        m_receivers.clear();
        for (const auto& entry : receivers)
            entry.second->DropObserver(this);
    }

    virtual void AddReceiver(Receiver* receiver)
    {
        if (!receiver)
            return;
        for (const auto& entry : m_receivers)
            if (entry.second == receiver)
                return;
        m_receivers[m_count++] = receiver;
        receiver->AddObserver(this);
    }
    virtual void RemoveReceiver(Receiver* receiver)
    {
        for (auto it = m_receivers.begin(); it != m_receivers.end();) {
            if (it->second == receiver)
                it = m_receivers.erase(it);
            else
                ++it;
        }
    }
    virtual void Broadcast(ParamT param)
    {
        // A receiver may remove itself (or another) while it is called: walk a copy.
        const auto receivers = m_receivers;
        for (const auto& entry : receivers)
            if (Contains(entry.second))
                entry.second->Receive(param);
    }
    virtual void Notify(ParamT param)
    {
        const auto receivers = m_receivers;
        for (const auto& entry : receivers)
            if (Contains(entry.second))
                entry.second->Respond(param, this);
    }

    size_t ReceiverCount() const { return m_receivers.size(); }

private:
    bool Contains(Receiver* receiver) const
    {
        for (const auto& entry : m_receivers)
            if (entry.second == receiver)
                return true;
        return false;
    }

    std::map<uint32_t, Receiver*> m_receivers;
    uint32_t m_count = 0;
};

// What a broadcast reaches. A receiver removes itself from every observer when it goes, so an
// observer never calls a receiver that no longer exists.
template <typename ReturnT, typename ParamT>
class ReceiverImpl {
public:
    using Observer = ObserverImpl<ReturnT, ParamT>;

    ReceiverImpl() = default;
    ReceiverImpl(const ReceiverImpl&) = delete;
    ReceiverImpl& operator=(const ReceiverImpl&) = delete;
    virtual ~ReceiverImpl() { RemoveObserver(); }

    virtual void AddObserver(Observer* observer)
    {
        for (const auto& entry : m_observers)
            if (entry.second == observer)
                return;
        m_observers[m_count++] = observer;
    }
    // Leaves every observer it was added to.
    virtual void RemoveObserver()
    {
        const auto observers = m_observers;
        m_observers.clear();
        for (const auto& entry : observers)
            entry.second->RemoveReceiver(this);
    }
    virtual ReturnT Receive(ParamT param)
    {
        (void)param;
        return ReturnT();
    }
    virtual ReturnT Respond(ParamT param, Observer* observer)
    {
        (void)param;
        (void)observer;
        return ReturnT();
    }

private:
    friend class ObserverImpl<ReturnT, ParamT>;
    void DropObserver(Observer* observer)
    {
        for (auto it = m_observers.begin(); it != m_observers.end();) {
            if (it->second == observer)
                it = m_observers.erase(it);
            else
                ++it;
        }
    }

    std::map<uint32_t, Observer*> m_observers;
    uint32_t m_count = 0;
};
