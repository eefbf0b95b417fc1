#include "GeneralStatsArea.h"

#include "SheetBinding.h"

namespace keld {

GeneralStatsArea::GeneralStatsArea(SheetBinding& binding, QWidget* parent) : QWidget(parent), m_binding(binding)
{
}

} // namespace keld
