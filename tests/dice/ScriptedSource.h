#pragma once

#include "UniformSource.h"

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <vector>

namespace keld::test {

// Hands out the given numbers in order and counts them; running dry is a test failure, so a
// roll that draws more than it should is caught.
class ScriptedSource {
public:
    explicit ScriptedSource(std::vector<double> values) : m_state(std::make_shared<State>())
    {
        m_state->values = std::move(values);
    }
    UniformSource Source() const
    {
        return [state = m_state] {
            if (state->next >= state->values.size())
                throw std::runtime_error("the scripted source ran dry");
            return state->values[state->next++];
        };
    }
    std::size_t Drawn() const { return m_state->next; }

private:
    struct State {
        std::vector<double> values;
        std::size_t next = 0;
    };
    std::shared_ptr<State> m_state;
};

} // namespace keld::test
