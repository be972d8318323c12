// Test double of the page printer: records every call as a short text.
#pragma once

#include "platform/Error.h"
#include "print/PagePrinter.h"

#include <QStringList>

namespace quorvel::test {

class RecordingPrinter : public PagePrinter {
public:
    QStringList printerNames() const override { return names; }
    bool selectPrinter(const QString& deviceName) override {
        calls << QStringLiteral("select ") + deviceName;
        return names.contains(deviceName);
    }
    void setFontName(const QString& name) override { calls << QStringLiteral("font ") + name; }
    void setFontSize(double points) override {
        size = points;
        calls << QStringLiteral("size ") + QString::number(points);
    }
    double fontSize() const override { return size; }
    void setBold(bool bold) override { calls << (bold ? "bold on" : "bold off"); }
    void setOrientation(PageOrientation o) override {
        calls << QStringLiteral("orient %1").arg(static_cast<int>(o));
    }
    void setDuplex(DuplexMode mode) override {
        calls << QStringLiteral("duplex %1").arg(static_cast<int>(mode));
    }
    void print(const QString& text, bool endLine) override {
        if (failOnPrint)
            throw Error(QStringLiteral("printer"), QStringLiteral("errore del dispositivo"));
        calls << (endLine ? QStringLiteral("line [") : QStringLiteral("text [")) + text + "]";
    }
    void newPage() override { calls << QStringLiteral("newPage"); }
    void endDoc() override { calls << QStringLiteral("endDoc"); }
    void abortDoc() override { calls << QStringLiteral("abortDoc"); }

    QStringList names;
    QStringList calls;
    double size = 12;
    bool failOnPrint = false;
};

}  // namespace quorvel::test
