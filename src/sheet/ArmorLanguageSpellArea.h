#pragma once

#include <QWidget>

namespace keld {

class SheetBinding;

class ArmorLanguageSpellArea : public QWidget {
    Q_OBJECT
public:
    ArmorLanguageSpellArea(SheetBinding& binding, QWidget* parent = nullptr);

private:
    SheetBinding& m_binding;
};

} // namespace keld
