#pragma once

#include <QLabel>
#include <array>
#include <cstdint>

namespace ui {

// The live spectrum view: its background, then one 1-pixel bar every 2 pixels from the left
// for each of up to 500 values, rising from the bottom by value x height / 8192, in black.
// Every view shows the frames handed to Feed.
class CAudioRecordUI : public QLabel {
    Q_OBJECT
public:
    static constexpr int kValues = 500;
    static constexpr int kFullScale = 8192;
    static constexpr char kClassName[] = "AudioRecord";

    explicit CAudioRecordUI(QWidget* parent = nullptr);
    ~CAudioRecordUI() override;

    QString GetClass() const { return QString::fromLatin1(kClassName); }
    CAudioRecordUI* GetInterface(const QString& name);

    void SetValues(const int32_t* values, int count);
    const std::array<int32_t, kValues>& Values() const { return m_values; }
    // Hands a frame to every view that is on screen (the others keep theirs).
    static void Feed(const int32_t* values, int count);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::array<int32_t, kValues> m_values{};
};

}  // namespace ui
