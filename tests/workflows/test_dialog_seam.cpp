// The dialogs the curve workflows added to the seam: text and whole-number
// input and the "Curve Adjust Setting" dialog.

#include <memory>

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/WidgetUtils.h"

namespace {

TEST(DialogSeam, InputRequestsReachTheHandlerAndItsAnswerComesBack)
{
    QList<IntegerInputRequest> asked;
    {
        ScopedIntegerInputHandler integers([&](const IntegerInputRequest& request) {
            asked.append(request);
            return std::optional<int>(request.maximum);
        });
        ScopedTextInputHandler texts([](const TextInputRequest& request) {
            return request.echo == QLineEdit::Normal ? std::optional<QString>(request.text + "!") : std::nullopt;
        });
        EXPECT_EQ(chooseInteger(nullptr, "Points", "Count:", 5, 1, 9, 2), std::optional<int>(9));
        EXPECT_EQ(chooseText(nullptr, "T", "L", QLineEdit::Normal, "abc"), std::optional<QString>("abc!"));
        EXPECT_EQ(chooseText(nullptr, "T", "L", QLineEdit::Password, "abc"), std::nullopt);
    }
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].title, "Points");
    EXPECT_EQ(asked[0].label, "Count:");
    EXPECT_EQ(asked[0].value, 5);
    EXPECT_EQ(asked[0].minimum, 1);
    EXPECT_EQ(asked[0].step, 2);
    // The scope restored the real dialogs.
    EXPECT_FALSE(setIntegerInputHandler({}));
    EXPECT_FALSE(setTextInputHandler({}));
}

TEST(DialogSeam, AdjustDialogOffersTheChannelsAndTheSmoothingWeight)
{
    CurveAdjustRequest request;
    request.channels = {"B04", "B03", "B02"};
    const std::unique_ptr<QDialog> dialog(makeCurveAdjustDialog(request));
    EXPECT_EQ(dialog->windowTitle(), "Curve Adjust Setting");
    EXPECT_TRUE(dialog->isModal());
    auto* form = qobject_cast<QFormLayout*>(dialog->layout());
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->rowCount(), 4);

    auto* channel = dialog->findChild<QComboBox*>("channel");
    ASSERT_NE(channel, nullptr);
    EXPECT_EQ(qobject_cast<QLabel*>(form->labelForField(channel))->text(), "Channel for curve adjusting");
    ASSERT_EQ(channel->count(), 3);
    EXPECT_EQ(channel->itemText(0), "B04");

    auto* influence = dialog->findChild<QDoubleSpinBox*>("curvatureInfluence");
    ASSERT_NE(influence, nullptr);
    EXPECT_EQ(qobject_cast<QLabel*>(form->labelForField(influence))->text(), "Curvature smoothing influence");
    EXPECT_DOUBLE_EQ(influence->minimum(), 0.01);
    EXPECT_DOUBLE_EQ(influence->maximum(), 1.0);
    EXPECT_DOUBLE_EQ(influence->singleStep(), 0.01);
    EXPECT_DOUBLE_EQ(influence->value(), 0.3);

    auto* hint = qobject_cast<QLabel*>(form->itemAt(2, QFormLayout::SpanningRole)->widget());
    ASSERT_NE(hint, nullptr);
    EXPECT_EQ(hint->text(), "For smoother curve choose bigger values.");
    auto* buttons = dialog->findChild<QDialogButtonBox*>("buttons");
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Cancel)->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

} // namespace
