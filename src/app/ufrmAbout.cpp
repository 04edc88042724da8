#include "app/ufrmAbout.h"

#include "app/icons.h"

#include <QLabel>
#include <QVBoxLayout>

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(360, 240);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 12);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgAbout"));
    picture->setPixmap(aboutPicture(360, 130));
    layout->addWidget(picture);
    auto* info = new QLabel(this);
    info->setObjectName(QStringLiteral("lbInfo"));
    info->setAlignment(Qt::AlignCenter);
    info->setText(QStringLiteral("<b>Pagrim</b> 网页信息采集<br>版本 1.0<br><br>"
                                 "把网站上的信息收集到电子表格中。<br>单击本窗口关闭。"));
    layout->addWidget(info);
    setStyleSheet(QStringLiteral("TfrmAbout { border: 1px solid #406080; background: white; }"));
    if (parent)
        move(parent->geometry().center() - rect().center());
}

void TfrmAbout::mousePressEvent(QMouseEvent*)
{
    accept();
}

void TfrmAbout::keyPressEvent(QKeyEvent*)
{
    accept();
}
