#include "gui/AboutForm.h"

#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/JpegPicture.h"
#include "gui/QtDialogs.h"
#include "gui/Resources.h"
#include "settings/VersionInfo.h"

namespace vireo::gui {

namespace {

constexpr int kPictureWidth = 135;
constexpr int kPictureHeight = 99;

QLabel* CentredLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

}  // namespace

QImage AboutPicture() {
    InitGuiResources();
    QFile file(QStringLiteral(":/vireo/about.jpg"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return DecodeJpeg(file.readAll());
}

TfmAbout::TfmAbout(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About Tarnfold Log Import"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(QFont(QStringLiteral("Arial"), 8));
    setFixedSize(277, 240);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);

    Image1 = new QLabel(frame);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(kPictureWidth, kPictureHeight);
    Image1->setScaledContents(true);  // stretched to the fixed size
    const QImage picture = AboutPicture();
    if (!picture.isNull()) Image1->setPixmap(QPixmap::fromImage(picture));

    AppNameLabel = CentredLabel(QStringLiteral("Vireo-Tarnfold Log Import"), frame, "AppNameLabel");
    QFont nameFont(QStringLiteral("Arial"), 12);
    nameFont.setBold(true);
    AppNameLabel->setFont(nameFont);

    auto* partCaption = new QLabel(QStringLiteral("Quenta Part No: "), frame);
    partCaption->setObjectName(QStringLiteral("PartLabel"));
    PartNumberLabel = new QLabel(QStringLiteral(" XXXX-XXXX"), frame);
    PartNumberLabel->setObjectName(QStringLiteral("PartNumberLabel"));
    auto* partRow = new QHBoxLayout;
    partRow->addStretch();
    partRow->setSpacing(0);
    partRow->addWidget(partCaption);
    partRow->addWidget(PartNumberLabel);
    partRow->addStretch();

    lblVersion = CentredLabel(QString(), frame, "lblVersion");
    auto* notice = CentredLabel(QStringLiteral("Copyright (C) Quenta Corporation"), frame, "lblNotice");
    notice->setWordWrap(true);

    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(8, 8, 8, 8);
    inner->setSpacing(4);
    inner->addWidget(Image1, 0, Qt::AlignHCenter);
    inner->addWidget(AppNameLabel);
    inner->addLayout(partRow);
    inner->addWidget(lblVersion);
    inner->addWidget(notice);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->addWidget(frame);
    outer->addWidget(btnOK, 0, Qt::AlignHCenter);
}

void TfmAbout::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TfmAbout::FormShow() { lblVersion->setText(FromBytes(ThisVersionLine())); }

}  // namespace vireo::gui
