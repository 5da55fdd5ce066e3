#pragma once

#include <functional>

// Processes events until the condition holds or the time is up; returns the condition.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000);
