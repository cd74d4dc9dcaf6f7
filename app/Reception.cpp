// Receiving the controller's records and showing them.

#include "TarloMainForm.h"

#include "Frame.h"
#include "ProgramState.h"
#include "SerialPort.h"

void TForm1::ComPortRxChar(QObject*, int Count)
{
    // A read failure (the device went away) ends this port's deliveries until the port is
    // reopened; anything the controller sends is handled below without ending them.
    std::string received;
    ComPort->ReadText(received, Count);
    // Once 24 lines are in, the record is cut out and everything received so far goes, also a
    // partly received next record.
    const std::optional<FrameLines> lines =
        receiveText(*receive_, QString::fromLatin1(received.data(), qsizetype(received.size())));
    ShowReceiveBuffer();
    if (!lines)
        return;
    SetFrameBufferText(frameBufferText(*lines));
    ProgramState& st = State();
    st.FrameLines = *lines;
    if (!frameIsValid(st.FrameLines))
        return;

    for (QWidget* w : ValueDisplays())
        w->show();
    const FrameDisplay d = decodeFrame(st.FrameLines);
    const std::pair<const std::optional<QString>&, TLabel*> texts[] = {
        {d.Label7, Label7},   {d.Label8, Label8},   {d.Label9, Label9},  {d.Label11, Label11},
        {d.Label12, Label12}, {d.Label17, Label17}, {d.Label23, Label23}};
    for (const auto& [text, label] : texts)
        if (text)
            label->SetCaption(*text);
    if (d.Image2)
        Image2->setVisible(*d.Image2);
    if (d.Image1)
        Image1->setVisible(*d.Image1);
    // A value line that does not convert ends this record's handling; the next one is
    // handled as usual.
    if (d.error)
        return;

    fillSettingsFromFrame(st.FrameLines, st.SettingsFields);
    if (!LogStep())
        return;
    st.LastFrameMinute = st.ClockMinute;
}
