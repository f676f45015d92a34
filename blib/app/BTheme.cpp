#include "blib/app/BTheme.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

void setTheme(const QString& name)
{
    if (name == QLatin1String("dark")) {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));

        const QColor dark(53, 53, 53);
        const QColor base(25, 25, 25);
        const QColor link(42, 130, 218);
        QPalette palette;
        palette.setColor(QPalette::Window, dark);
        palette.setColor(QPalette::WindowText, Qt::white);
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::AlternateBase, dark);
        palette.setColor(QPalette::ToolTipBase, Qt::white);
        palette.setColor(QPalette::ToolTipText, Qt::white);
        palette.setColor(QPalette::Text, Qt::white);
        palette.setColor(QPalette::Button, dark);
        palette.setColor(QPalette::ButtonText, Qt::white);
        palette.setColor(QPalette::BrightText, Qt::red);
        palette.setColor(QPalette::Link, link);
        palette.setColor(QPalette::Highlight, link);
        palette.setColor(QPalette::HighlightedText, Qt::black);
        palette.setColor(QPalette::Disabled, QPalette::Text, Qt::darkGray);
        palette.setColor(QPalette::Disabled, QPalette::ButtonText, Qt::darkGray);
        QApplication::setPalette(palette);
        qApp->setStyleSheet(QStringLiteral(
            "QToolTip { color: #ffffff; background-color: #353535; border: 1px solid white; }"));
    } else if (name == QLatin1String("light")) {
        QApplication::setPalette(QPalette());
        qApp->setStyleSheet(QString());
    }
}
