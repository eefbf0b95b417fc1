#pragma once

#include <QWidget>

namespace keld {

class SheetBinding;

class GeneralStatsArea : public QWidget {
    Q_OBJECT
public:
    GeneralStatsArea(SheetBinding& binding, QWidget* parent = nullptr);

private:
    SheetBinding& m_binding;
};

} // namespace keld
