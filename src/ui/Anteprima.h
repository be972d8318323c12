// Anteprima, the print preview "Anteprima di Stampa": the report file shown a
// chunk at a time in an editable text field (Text1), with the buttons
// Tasto(0..6): "&Esci", "&Riduci", "E&spandi", "&Avanti", "&Inizio",
// "E-&mail", "Sa&lva". The reading and saving is ReportChunkReader's.
//
// The first chunk (about 20000 characters) is read when the preview is first
// shown; "&Avanti" and "&Inizio" read about 26000. A failure behind a button
// (the e-mail hand-over's included) is shown with its description under the
// title "Riporto Clienti", and the text shown stays as it was. Line breaks
// are written back as they were read: a lone LF inside a line stays a LF.
#pragma once

#include "platform/Seams.h"
#include "print/MailHandover.h"
#include "print/ReportChunkReader.h"

#include <QDialog>
#include <array>
#include <cstdint>

class QPlainTextEdit;
class QPushButton;

namespace quorvel {

class Anteprima : public QDialog {
    Q_OBJECT
public:
    static constexpr std::int32_t FirstChunk = 20000;
    static constexpr std::int32_t NextChunk = 26000;
    static constexpr double DesignFontSize = 11.25;
    static constexpr double LargestFontSize = 72;

    // REQUIRES: services.dialogs and services.shell set and outliving it.
    explicit Anteprima(Services& services, QWidget* parent = nullptr);
    ~Anteprima() override;

    // Form_Load: opens the report file when it exists.
    void formLoad();
    // Form_Activate: lays the window out and shows the next chunk; false
    // (and the preview closed) when there is no report file.
    bool formActivate();
    void Tasto_Click(int index);

    // Load, activation and the modal show.
    void run();

    // Text1's text with CR LF line ends (a lone LF of the report kept as it
    // was), as it is saved and mailed.
    QString text1Text() const;
    double fontSize() const { return m_fontSize; }
    bool more() const { return m_reader.more(); }
    std::int32_t chunkLength() const { return m_reader.chunkLength(); }
    bool closedForNoReport() const { return m_noReport; }

    QPlainTextEdit* text1() const { return m_text1; }
    QPushButton* tasto(int index) const { return m_tasto[static_cast<size_t>(index)]; }
    ReportChunkReader& reader() { return m_reader; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void layoutControls();
    void showChunk(std::int32_t limit);
    void setFontSize(double points);
    void fail(const QString& what, const std::exception& e);
    // Runs a mail exchange off this thread, showing that it is sending.
    void sendAside(const SendStep& step);

    Services& m_services;
    ReportChunkReader m_reader;
    double m_fontSize = DesignFontSize;
    bool m_noReport = false;
    QPlainTextEdit* m_text1 = nullptr;
    std::array<QPushButton*, 7> m_tasto{};
};

}  // namespace quorvel
