#include "ui/indexwindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "device/devicedb.h"

namespace vx {

IndexWindow::IndexWindow(const Session& s, QWidget* parent) : QDialog(parent) {
    setObjectName("frmIndex");
    setWindowTitle("デバイス インデックス");
    setModal(true);

    const auto index = ReadDeviceIndex(s);
    auto* table = new QTableWidget(static_cast<int>(index.size()), 4, this);
    table->setObjectName("DeviceIndex");
    table->setHorizontalHeaderLabels({"デバイス", "タイプ", "プログラムメモリ (word)", "EEPROM (byte)"});
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int row = 0; row < static_cast<int>(index.size()); ++row) {
        const DeviceSummary& d = index[static_cast<std::size_t>(row)];
        table->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(d.name)));
        table->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(d.family)));
        for (const auto& [column, value] : {std::pair{2, d.programWords}, std::pair{3, d.eepromBytes}}) {
            auto* item = new QTableWidgetItem(QString::number(value));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(row, column, item);
        }
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    auto* close = new QPushButton("閉じる", this);
    close->setObjectName("Command1");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addLayout(buttons);
    resize(520, 480);
}

}  // namespace vx
