import QtQuick 2.15
import QtQuick.Window 2.15
import QtQuick.Layouts 1.15
import QtQuick.Controls 2.15
import VpnMenu 1.0

Window {
    id: vpnWindow
    objectName: "vpnWindow"

    property size baseSize: Qt.size(295, 548)
    property int tlFrameSize: 1
    property int brFrameSize: 3
    property bool transparencyEnabled: vpnMenu.transparencyEnabled
    property string themeName: "light"

    readonly property QtObject icons: QtObject {
        readonly property string prefix: "qrc:/icons/%1/".arg(vpnWindow.themeName)
        readonly property string check: "qrc:/icons/common/check.svg"
        readonly property string global: prefix + "global.svg"
    }

    readonly property QtObject lightTheme: QtObject {
        readonly property color fontColor: "#2B2B32"
        readonly property color background: "white"
        readonly property color indicatorBgAlert: "#33FF6060"
        readonly property color indicatorTextAlert: "#FF6060"
        readonly property color indicatorBgValid: "#3375DD50"
        readonly property color indicatorTextValid: "#75DD50"
        readonly property color dividerBg: "#F1F1F3"
        readonly property color dividerText: "#B3B3BB"
    }

    readonly property QtObject darkTheme: QtObject {
        readonly property color fontColor: "#FFFFFF"
        readonly property color background: "#2B2B32"
        readonly property color indicatorBgAlert: "#33FF6060"
        readonly property color indicatorTextAlert: "#FF6060"
        readonly property color indicatorBgValid: "#3375DD50"
        readonly property color indicatorTextValid: "#75DD50"
        readonly property color dividerBg: "#43434D"
        readonly property color dividerText: "#757581"
    }

    readonly property QtObject theme: themeName === "dark" ? darkTheme : lightTheme

    width: baseSize.width + tlFrameSize + brFrameSize
    height: baseSize.height + tlFrameSize + brFrameSize
    flags: Qt.FramelessWindowHint | Qt.Dialog
    modality: Qt.ApplicationModal
    visible: false
    color: transparencyEnabled ? "transparent" : "white"

    onActiveChanged: {
        if (!active)
            hide()
    }

    Connections {
        target: vpnMenu

        function onShowVpnUi(x, y) {
            vpnWindow.x = x
            vpnWindow.y = y
            vpnWindow.show()
            vpnWindow.requestActivate()
        }

        function onSetLightTheme() {
            vpnWindow.themeName = "light"
        }

        function onSetDarkTheme() {
            vpnWindow.themeName = "dark"
        }
    }

    Rectangle {
        objectName: "frame"
        anchors.fill: parent
        radius: vpnWindow.transparencyEnabled ? 14 : 0
        color: vpnWindow.transparencyEnabled ? "#20000000" : "#CCCCCC"
    }

    Page {
        id: page
        objectName: "page"
        anchors.fill: parent
        anchors.leftMargin: vpnWindow.tlFrameSize
        anchors.topMargin: vpnWindow.tlFrameSize
        anchors.rightMargin: vpnWindow.brFrameSize
        anchors.bottomMargin: vpnWindow.brFrameSize
        topPadding: 12
        // The list clips square; kept above the rounded bottom corners, its
        // section headers and pressed rows cannot square them.
        bottomPadding: pageBackground.radius

        background: Rectangle {
            id: pageBackground
            objectName: "pageBackground"
            color: vpnWindow.theme.background
            radius: vpnWindow.transparencyEnabled ? 14 : 0
        }

        header: Column {
            Text {
                id: ipTxt
                objectName: "ipTxt"
                topPadding: 14
                leftPadding: 16
                bottomPadding: 4
                text: "Current IP"
                color: vpnWindow.theme.fontColor
                font.pixelSize: 14
                font.weight: Font.DemiBold
            }

            ServerItem {
                id: currentServer
                objectName: "currentServer"
                width: parent.width
                bgColor: vpnWindow.theme.background
                textColor: vpnWindow.theme.fontColor
                // Both ends of an address tell it apart; an IPv6 one is too
                // long for the line.
                elide: Text.ElideMiddle
                text: {
                    switch (vpnMenu.globalIpState) {
                    case VpnMenu.Undefined:
                        return "Undefined"
                    case VpnMenu.Connecting:
                        return "Connecting..."
                    case VpnMenu.Disconnecting:
                        return "Disconnecting..."
                    default:
                        return vpnMenu.globalIp
                    }
                }
                icon.source: vpnMenu.globalIpState === VpnMenu.Defined && iconStorage.hasIcon(vpnMenu.serverCode)
                             ? "image://imgProvider/" + encodeURIComponent(vpnMenu.serverCode)
                             : vpnWindow.icons.global

                indicator: Rectangle {
                    readonly property bool isProtected: vpnMenu.vpnConnectionState === VpnMenu.Protected

                    objectName: "connectionIndicator"
                    width: 86
                    height: 26
                    radius: height / 2
                    x: currentServer.width - width - 16
                    y: (currentServer.height - height) / 2
                    color: isProtected ? vpnWindow.theme.indicatorBgValid : vpnWindow.theme.indicatorBgAlert

                    Text {
                        objectName: "connectionIndicatorText"
                        anchors.centerIn: parent
                        text: parent.isProtected ? "Protected" : "Unprotected"
                        color: parent.isProtected ? vpnWindow.theme.indicatorTextValid
                                                  : vpnWindow.theme.indicatorTextAlert
                        font.pixelSize: 12
                    }
                }
            }
        }

        ColumnLayout {
            anchors.fill: parent

            ListView {
                id: serverList
                objectName: "serverList"
                Layout.fillWidth: true
                Layout.fillHeight: true
                implicitHeight: contentHeight
                clip: true
                model: vpnMenu.serverListModel
                // Only the host's selection marks a row until the user moves
                // the current item; the view's own default would mark row 0.
                currentIndex: -1

                section.property: "type"
                section.criteria: ViewSection.FullString
                section.delegate: TextDivider {
                    objectName: "sectionDivider"
                    width: serverList.width
                    text: section === "free" ? "Free" : "Premium"
                    color: vpnWindow.theme.dividerBg
                    textColor: vpnWindow.theme.dividerText
                }

                delegate: ServerItem {
                    id: serverRow
                    objectName: "serverRow"
                    width: serverList.width
                    icon.source: "image://imgProvider/" + encodeURIComponent(model.code)
                    text: model.name
                    bgColor: vpnWindow.theme.background
                    textColor: vpnWindow.theme.fontColor

                    indicator: Image {
                        objectName: "checkMark"
                        width: 24
                        height: 24
                        x: serverRow.width - width - 16
                        y: (serverRow.height - height) / 2
                        source: vpnWindow.icons.check
                        visible: serverRow.ListView.isCurrentItem || model.isSelected
                    }

                    onClicked: {
                        vpnWindow.hide()
                        vpnMenu.serverClicked(model.code)
                    }
                }
            }
        }
    }
}
