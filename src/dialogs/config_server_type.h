// CConfigServerType: the sheet's Format page. It chooses the stream format the service serves
// (MP3 or Ogg Vorbis, or WMA) and, for WMA, the encoder plug-in and its settings. Both take
// effect the moment they are chosen, so OK has nothing left to write and Cancel cannot undo
// them.
#pragma once

#include "startup/server_context.h"
#include "ui/tree_property_sheet.h"

#include <cstdint>
#include <orvanta/plugin.h>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace orvanta {

class CConfigServerType : public CPropertyPage {
    Q_OBJECT

public:
    static constexpr int kDialogId = 411;
    static constexpr int kMp3OrOggRadioId = 1033;
    static constexpr int kWmaRadioId = 1022;
    static constexpr int kEncoderLabelId = 1035;
    static constexpr int kEncoderListId = 1038;
    static constexpr int kEncoderConfigButtonId = 1003;

    // A service module must serve both MP3 and Ogg Vorbis for the first choice, WMA for the
    // second.
    static constexpr uint32_t kMp3AndOggMask = 18;
    static constexpr uint32_t kWmaMask = 4;
    // The catalogue's WMA encoders: their kind and the capability bits they share.
    static constexpr int32_t kEncoderKind = ORVANTA_PLUGIN_KIND_WMA_ENCODER;
    static constexpr uint32_t kEncoderMaskA = 4;
    static constexpr uint32_t kEncoderMaskB = 8;
    static constexpr uint32_t kEncoderMaskC = 1;
    static constexpr uint32_t kEncoderMaskD = 4;
    // A name wider than the list's drop-down widens it to the name's width less this.
    static constexpr int kDropDownWidthMargin = 30;

    // `pluginOwner` is the window a plug-in's settings dialog belongs to: the console's main
    // window, not the sheet, which is gone before the plug-in may look at its owner again. It
    // outlives the page; null gives the plug-in no owner.
    explicit CConfigServerType(CServerContext& context, QWidget* pluginOwner = nullptr,
                               QWidget* parent = nullptr);

    // Filled when first shown, never on activation.
    void OnInitDialog() override;

    // The catalogue record of the encoder selected in the list, or null.
    const PluginDescriptor* SelectedEncoder() const;
    QWidget* PluginOwner() const { return m_pluginOwner; }

private:
    void FillEncoderList();
    // The catalogue record of the list's item `index`, or null.
    PluginDescriptor* RecordAt(int index) const;
    void OnMp3OrOggClicked();
    void OnWmaClicked();
    void OnEncoderChosen(int index);
    void OnEncoderConfig();

    CServerContext& m_context;
    QWidget* m_pluginOwner = nullptr;
    QRadioButton* m_mp3OrOgg = nullptr;
    QRadioButton* m_wma = nullptr;
    QLabel* m_encoderLabel = nullptr;
    QComboBox* m_encoders = nullptr;
    QPushButton* m_encoderConfig = nullptr;
    // The listed encoders' records in the catalogue; an item's data is its place here.
    std::vector<PluginDescriptor*> m_encoderRecords;
    // The drop-down's width as the list fill has set it.
    int m_dropDownWidth = 0;
};

}  // namespace orvanta
