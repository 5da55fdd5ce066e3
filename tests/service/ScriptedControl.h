#pragma once

#include "loader/ServiceControl.h"

#include <functional>
#include <map>

// Plays the host's part turn by turn: runs what the script gives for a turn, and asks for the stop
// at the last one.
class ScriptedControl final : public ServiceControl
{
public:
    ScriptedControl(int lastTurn, std::map<int, std::function<void()>> script)
        : m_lastTurn(lastTurn), m_script(std::move(script))
    {}
    void handleRequests() override
    {
        ++m_turn;
        if (const auto step = m_script.find(m_turn); step != m_script.end())
            step->second();
    }
    bool stopRequested() const override { return m_turn >= m_lastTurn; }

private:
    int m_lastTurn;
    int m_turn = 0;
    std::map<int, std::function<void()>> m_script;
};
