#pragma once
// The records editor's navigator: First, Prior, Next, Last, Insert, Delete, Post and Cancel acting on
// the computer table, enabled as a data navigator enables them for the table's position and state.

#include <QWidget>

#include <array>

class QToolButton;
class TComputerTable;

class TRecordNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Post, Cancel };
    static constexpr int ButtonCount = 8;

    TRecordNavigator(TComputerTable& table, QWidget* parent = nullptr);

    QToolButton* ButtonAt(Button button) const { return FButtons[button]; }
    void Click(Button button); // what a press of the button does

    // Re-reads the table's position and state into the buttons' enabled states.
    void UpdateButtons();

private:
    TComputerTable& FTable;
    std::array<QToolButton*, ButtonCount> FButtons{};
};
