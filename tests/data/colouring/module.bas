Option Explicit

' Orders: the lines of an order, their totals and the stock they draw on
Private Declare Function GetTickCount Lib "kernel32" () As Long
Private Type OrderLine
    ItemCode As String
    Quantity As Long
    Price As Currency
End Type
Private m_lines() As OrderLine
Private m_count As Long ' lines in use
Public Function TotalOf(ByVal customerId As Long, Optional ByVal withTax As Boolean = True) As Currency
    Dim i As Long, total As Currency
    Dim started As Long
    started = GetTickCount()
    For i = LBound(m_lines) To UBound(m_lines)
        If m_lines(i).Quantity > 0 Then
            total = total + m_lines(i).Quantity * m_lines(i).Price
        ElseIf m_lines(i).Quantity < 0 Then
            Debug.Print "Negative quantity on line "; i
        Else
            ' nothing to add for an empty line
        End If
    Next i
    If withTax Then total = total * 1.2 ' the customer's rate
    TotalOf = total
End Function

Public Sub AddLine(ByVal code As String, ByVal qty As Long, ByVal price As Currency)
    On Error GoTo Failed
    m_count = m_count + 1
    ReDim Preserve m_lines(1 To m_count) As OrderLine
    With m_lines(m_count)
        .ItemCode = code: .Quantity = qty: .Price = price
    End With
    Exit Sub
Failed:
    MsgBox "Can't add the line: " & Err.Description, vbExclamation, "Orders"
End Sub
Private Sub LoadItems(rs As Object)
    Do While Not rs.EOF
        Set item = New Collection
        item.Add rs!Code, "code"
        rs.MoveNext
    Loop
    Select Case Len(Trim$(name))
        Case 0: Exit Sub
        Case Is > 40: name = Left$(name, 40)
    End Select
End Sub
