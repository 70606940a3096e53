Dimension = 1
EndIfCount = Integer2 + Dim_x
x.Dim = 1
(Dim x)
Dim: x
Dim	x
x	Dim
Long,b
MsgBox "Dim x As Long"
s = "If" & "Then"
s = " Then "
Call Print("a", "b") As
x = "it's" Then
Set y = Nothing
