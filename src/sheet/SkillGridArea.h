#pragma once

#include <QWidget>

namespace keld {

class SheetBinding;

class SkillGridArea : public QWidget {
    Q_OBJECT
public:
    SkillGridArea(SheetBinding& binding, QWidget* parent = nullptr);

private:
    SheetBinding& m_binding;
};

} // namespace keld
