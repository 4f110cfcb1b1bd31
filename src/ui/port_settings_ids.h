#pragma once
// Resource and control identifiers of the connection settings dialog; shared by
// the dialog template and the code that drives it.

#define IDD_PORTSETTINGS 200

// Controls; each carries the name of the form's control it stands for.
#define IDC_LABEL1 1001
#define IDC_EDIDENTIF 1002
#define IDC_GROUPBOX1 1003
#define IDC_LABEL2 1004
#define IDC_CBPORT 1005
#define IDC_CBPORTOPEN 1006
#define IDC_LABEL3 1007
#define IDC_CBBAUDRATE 1008
#define IDC_LABEL9 1009
#define IDC_EDNETWORKPRINTERNAME 1010
#define IDC_LABEL5 1011
#define IDC_CBDATABITS 1012
#define IDC_LABEL7 1013
#define IDC_LABEL6 1014
#define IDC_CBSTOPBITS 1015
#define IDC_LABEL8 1016
#define IDC_LABEL4 1017
#define IDC_CBPARITY 1018
#define IDC_GBEX 1019
#define IDC_LBFLOWCONTROL 1020
#define IDC_CBFLOWCONTROL 1021
#define IDC_LBCONTROLDTR 1022
#define IDC_CBCONTROLDTR 1023
#define IDC_LBCONTROLRTS 1024
#define IDC_CBCONTROLRTS 1025
#define IDC_LBSFOPTIONS 1026
#define IDC_CBSFOPTIONS 1027
#define IDC_LBXON 1028
#define IDC_EDXON 1029
#define IDC_LBXOFF 1030
#define IDC_EDXOFF 1031
#define IDC_LBTIMEOUTWRITE 1032
#define IDC_EDTIMEOUTWRITE 1033
#define IDC_LABEL15 1034
#define IDC_BTNDEFAULT 1035
// btnOk and btnCancel are IDOK (1) and IDCANCEL (2): the modal results.

// List items and entry texts.
#define IDS_PARITY_FIRST 2000  // five entries
#define IDS_FLOW_FIRST 2010    // four entries
#define IDS_DTR_FIRST 2020     // three entries
#define IDS_RTS_FIRST 2030     // four entries
#define IDS_SWFLOW_FIRST 2040  // four entries
#define IDS_COM_ENTRY 2050
#define IDS_LPT_ENTRY 2051
#define IDS_NETWORK_PRINTER 2052
