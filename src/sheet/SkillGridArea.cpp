#include "SkillGridArea.h"

#include "SheetBinding.h"

namespace keld {

SkillGridArea::SkillGridArea(SheetBinding& binding, QWidget* parent) : QWidget(parent), m_binding(binding)
{
}

} // namespace keld
