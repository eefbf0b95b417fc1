#include "ArmorLanguageSpellArea.h"

#include "SheetBinding.h"

namespace keld {

ArmorLanguageSpellArea::ArmorLanguageSpellArea(SheetBinding& binding, QWidget* parent) : QWidget(parent), m_binding(binding)
{
}

} // namespace keld
