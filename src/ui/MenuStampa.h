// MenuStampa, the print menu "Stampe non modificabili": the frame
// "Selezione " with the destination list (Combo1), the printer list
// (Combo2), three check boxes and six picture buttons Tst(0..5): open the
// archive copy, export for a spreadsheet, PDF, print, preview, exit. The
// work behind the buttons is PrintMenu's.
//
// Activation (reading the destinations again, the first one chosen) runs
// when the menu is first shown and again whenever the operator comes back
// from the preview or from the program's own message box; when it finds no
// destination the menu closes.
#pragma once

#include "print/PrintMenu.h"

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QToolButton;

namespace quorvel {

// What a test puts in place of the menu's own windows; the program passes
// none, and an empty one is the real window.
struct MenuStampaSeams {
    // The program's message box (Messaggio).
    std::function<std::int16_t(const QString&, std::int16_t, const QString&)> messaggio;
    // The preview, shown modally.
    std::function<void()> anteprima;
};

class MenuStampa : public QDialog {
    Q_OBJECT
public:
    // hotelCorrente: the hotel worked for (0 is taken as 1 at load).
    // REQUIRES: every argument outlives the menu.
    MenuStampa(Services& services, PagePrinter& printer, db::Workspace& ws,
               std::int16_t hotelCorrente, MenuStampaSeams seams = {}, QWidget* parent = nullptr);
    ~MenuStampa() override;

    // Form_Load: centres the menu, makes the archive copy, fills Combo2.
    void formLoad();
    // Form_Activate: fills Combo1 and chooses its first entry; false (and the
    // menu closed) when there is no destination.
    bool formActivate();
    // One handler for the six buttons.
    void Tst_Click(int index);

    // Load, activation and the modal show; returns at once when activation
    // finds no destination.
    void run();

    QGroupBox* ssFrame1() const { return m_frame; }
    QComboBox* combo1() const { return m_combo1; }
    QComboBox* combo2() const { return m_combo2; }
    QLabel* label1(int index) const { return m_label1[static_cast<size_t>(index)]; }
    QCheckBox* chk() const { return m_chk; }
    QCheckBox* chk2() const { return m_chk2; }
    QCheckBox* chk3() const { return m_chk3; }
    QToolButton* tst(int index) const { return m_tst[static_cast<size_t>(index)]; }
    // True once activation found no destination and closed the menu.
    bool closedForNoDestination() const { return m_noDestination; }

private:
    void buildControls();
    void stampa();
    void stampaPdf();
    void showPreview();
    PrintChoice choice() const;

    Services& m_services;
    MenuStampaSeams m_seams;
    PrintMenu m_menu;
    bool m_noDestination = false;

    QGroupBox* m_frame = nullptr;
    QComboBox* m_combo1 = nullptr;
    QComboBox* m_combo2 = nullptr;
    std::array<QLabel*, 2> m_label1{};
    QCheckBox* m_chk = nullptr;
    QCheckBox* m_chk2 = nullptr;
    QCheckBox* m_chk3 = nullptr;
    std::array<QToolButton*, 6> m_tst{};
};

}  // namespace quorvel
