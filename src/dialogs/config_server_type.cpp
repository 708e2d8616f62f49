#include "dialogs/config_server_type.h"

#include "config/program_settings.h"
#include "res/string_table.h"
#include "support/file.h"
#include "support/module_holder.h"
#include "ui/text.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <string>

namespace orvanta {

namespace {

// A fixed-size text field of a plug-in record, which a careless plug-in may leave unended.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// The native handle of the window a plug-in's settings dialog belongs to, or null when there
// is none (or it has no native window yet).
void* NativeHandle(const QWidget* window) {
    if (window == nullptr) {
        return nullptr;
    }
    const WId id = window->internalWinId();
    return id == 0 ? nullptr : reinterpret_cast<void*>(id);
}

}  // namespace

CConfigServerType::CConfigServerType(CServerContext& context, QWidget* pluginOwner, QWidget* parent)
    : CPropertyPage(Text(res::kStrFormatTitle), parent),
      m_context(context),
      m_pluginOwner(pluginOwner) {
    setObjectName("CConfigServerType");

    m_mp3OrOgg = new QRadioButton(Text(res::kStrFormatMp3OrOgg), this);
    m_mp3OrOgg->setObjectName("kMp3OrOggRadioId");
    m_wma = new QRadioButton(Text(res::kStrFormatWma), this);
    m_wma->setObjectName("kWmaRadioId");
    m_encoderLabel = new QLabel(Text(res::kStrFormatEncoderLabel), this);
    m_encoderLabel->setObjectName("kEncoderLabelId");
    m_encoders = new QComboBox(this);
    m_encoders->setObjectName("kEncoderListId");
    m_encoders->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_encoders->setMinimumContentsLength(24);
    m_encoderConfig = new QPushButton(Text(res::kStrFormatEncoderConfig), this);
    m_encoderConfig->setObjectName("kEncoderConfigButtonId");
    m_encoderConfig->setAutoDefault(false);
    m_encoderLabel->setBuddy(m_encoders);

    // The encoder row sits under the WMA choice, indented as belonging to it.
    auto* encoderRow = new QGridLayout;
    encoderRow->setContentsMargins(20, 0, 0, 0);
    encoderRow->addWidget(m_encoderLabel, 0, 0);
    encoderRow->addWidget(m_encoders, 0, 1);
    encoderRow->addWidget(m_encoderConfig, 0, 2);
    encoderRow->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_mp3OrOgg);
    layout->addWidget(m_wma);
    layout->addLayout(encoderRow);
    layout->addStretch(1);

    connect(m_mp3OrOgg, &QRadioButton::clicked, this, [this] { OnMp3OrOggClicked(); });
    connect(m_wma, &QRadioButton::clicked, this, [this] { OnWmaClicked(); });
    connect(m_encoders, &QComboBox::activated, this, [this](int index) { OnEncoderChosen(index); });
    connect(m_encoderConfig, &QPushButton::clicked, this, [this] { OnEncoderConfig(); });
}

void CConfigServerType::OnInitDialog() {
    m_encoders->clear();
    m_encoderRecords.clear();
    m_mp3OrOgg->setEnabled(false);
    m_wma->setEnabled(false);

    // A format no installed service module can serve cannot be chosen, but the current one is
    // still shown checked.
    m_mp3OrOgg->setEnabled(m_context.modules.FindByFormat(kMp3AndOggMask) != nullptr);
    m_wma->setEnabled(m_context.modules.FindByFormat(kWmaMask) != nullptr);

    const int32_t format = m_context.config.Format;
    const bool wma = format != kFormatMp3 && format != kFormatOggVorbis;
    (wma ? m_wma : m_mp3OrOgg)->setChecked(true);
    m_encoders->setEnabled(wma);
    m_encoderConfig->setEnabled(wma);

    FillEncoderList();
}

void CConfigServerType::FillEncoderList() {
    std::string remembered = GetProfileString(kSectionEncoder, kEntryWma);
    // An encoder whose library has gone falls back to the first one listed.
    if (!remembered.empty() && !FileExists(m_context.ProgramFolder() + remembered)) {
        remembered.clear();
    }

    const QFontMetrics metrics(m_encoders->font());
    QAbstractItemView& dropDown = *m_encoders->view();
    m_dropDownWidth = std::max(m_encoders->width(), dropDown.minimumWidth());
    int selected = -1;
    PluginDescriptor* record = nullptr;
    CPluginCatalog& catalogue = m_context.plugins;
    for (int found = catalogue.FindNext(-1, kEncoderKind, kEncoderMaskA, kEncoderMaskB,
                                        kEncoderMaskC, kEncoderMaskD, &record, false);
         found != -1; found = catalogue.FindNext(found, kEncoderKind, kEncoderMaskA, kEncoderMaskB,
                                                 kEncoderMaskC, kEncoderMaskD, &record, false)) {
        if (record == nullptr) {
            continue;
        }
        const QString name = QString::fromStdString(FieldText(record->displayName));
        const int width = metrics.horizontalAdvance(name);
        if (width > m_dropDownWidth) {
            m_dropDownWidth = width - kDropDownWidthMargin;
            dropDown.setMinimumWidth(m_dropDownWidth);
        }

        // The list is sorted by name, as the user reads it.
        int position = 0;
        while (position < m_encoders->count() &&
               m_encoders->itemText(position).compare(name, Qt::CaseInsensitive) <= 0) {
            ++position;
        }
        const int place = static_cast<int>(m_encoderRecords.size());
        m_encoderRecords.push_back(record);
        m_encoders->insertItem(position, name, place);

        record->active = 0;
        if (FieldText(record->fileName) == remembered) {
            selected = place;
            record->active = 1;
        }
    }

    if (selected >= 0) {
        m_encoders->setCurrentIndex(m_encoders->findData(selected));
    } else if (m_encoders->count() > 0) {
        m_encoders->setCurrentIndex(0);
        RecordAt(0)->active = 1;
    }
}

const PluginDescriptor* CConfigServerType::SelectedEncoder() const {
    return RecordAt(m_encoders->currentIndex());
}

PluginDescriptor* CConfigServerType::RecordAt(int index) const {
    if (index < 0 || index >= m_encoders->count()) {
        return nullptr;
    }
    const int place = m_encoders->itemData(index).toInt();
    if (place < 0 || place >= static_cast<int>(m_encoderRecords.size())) {
        return nullptr;
    }
    return m_encoderRecords[static_cast<size_t>(place)];
}

void CConfigServerType::OnMp3OrOggClicked() {
    m_encoderConfig->setEnabled(false);
    m_context.config.Format = kFormatMp3;
}

void CConfigServerType::OnWmaClicked() {
    m_encoderConfig->setEnabled(true);
    m_encoders->setEnabled(true);
    m_context.config.Format = kFormatWma;
}

void CConfigServerType::OnEncoderChosen(int index) {
    if (const PluginDescriptor* record = RecordAt(index)) {
        WriteProfileString(kSectionEncoder, kEntryWma, FieldText(record->fileName));
    }
}

void CConfigServerType::OnEncoderConfig() {
    const PluginDescriptor* record = SelectedEncoder();
    if (record == nullptr) {
        return;
    }
    const std::string fileName = FieldText(record->fileName);
    // By its bare name: the library search starts in the program's own folder.
    CModuleHolder holder;
    IPlugin* plugin = holder.LoadPlugin(fileName, CPluginCatalog::kPluginRegistryKey);
    if (plugin == nullptr) {
        return;
    }
    plugin->Configure(NativeHandle(m_pluginOwner));
    int32_t value55 = 0;
    int32_t value56 = 0;
    plugin->GetValue(ORVANTA_PLUGIN_VALUE_55, &value55);
    plugin->GetValue(ORVANTA_PLUGIN_VALUE_56, &value56);
    StationConfig& config = m_context.config;
    config.EncoderValue55 = value55;
    config.EncoderValue56 = value56;
    config.EncoderModule = fileName;
}

}  // namespace orvanta
