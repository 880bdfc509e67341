import QtQuick 2.15

Rectangle {
    id: root

    property alias text: label.text
    property alias textColor: label.color

    implicitHeight: 28
    implicitWidth: label.implicitWidth

    Text {
        id: label
        objectName: "label"
        anchors.verticalCenter: parent.verticalCenter
        leftPadding: 16
        font.pixelSize: 14
        font.weight: Font.Medium
    }
}
