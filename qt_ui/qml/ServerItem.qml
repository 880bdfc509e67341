import QtQuick 2.15
import QtQuick.Controls 2.15

ItemDelegate {
    id: root

    property color bgColor: "white"
    property color textColor: "black"
    property alias elide: label.elide

    implicitHeight: 44
    leftPadding: 16
    topPadding: 7
    bottomPadding: 7
    spacing: 8
    icon.width: 24
    icon.height: 24

    contentItem: Row {
        spacing: root.spacing

        Image {
            objectName: "icon"
            width: root.icon.width
            height: root.icon.height
            anchors.verticalCenter: parent.verticalCenter
            source: root.icon.source
            cache: false
        }

        Text {
            id: label
            objectName: "label"
            width: root.availableWidth - root.icon.width - root.spacing
            anchors.verticalCenter: parent.verticalCenter
            rightPadding: root.indicator && root.indicator.visible ? root.indicator.width : 0
            text: root.text
            color: root.textColor
            elide: Text.ElideRight
            font.pixelSize: 14
            font.weight: Font.Medium
        }
    }

    background: Rectangle {
        color: root.bgColor
        visible: root.pressed
    }
}
